#include "drivers/segment_seam.h"

namespace cantrix {

bool SeamFits(const Layer3Stream& previous, std::uint64_t from, const Layer3Stream& next, std::uint64_t seam)
{
    if (seam <= from || from < previous.FrameBegin() || seam < next.FrameBegin() ||
        seam > previous.FrameEnd() || seam >= next.FrameEnd())
        return false;
    const Layer3Frame& last = previous.Frame(seam - 1);
    const Layer3Frame& first = next.Frame(seam);
    if (first.mainDataBegin > previous.FreeAfter(seam - 1) ||
        last.DataEnd() < previous.Frame(from).mainOffset)
        return false;
    for (int channel = 0; channel < 2; ++channel) {
        if (!BlockTypesJoin(last.lastBlockType[channel], first.firstBlockType[channel]))
            return false;
    }
    return true;
}

void AppendUpToSeam(const Layer3Stream& previous, std::uint64_t from, const Layer3Stream& next,
                    std::uint64_t seam, std::vector<unsigned char>& out)
{
    const std::size_t base = out.size();
    const std::uint64_t firstOffset = previous.Frame(from).offset;
    AppendFrames(previous, from, seam, out);

    // The free tail, in the previous segment's main data positions, and what the next frame needs.
    const Layer3Frame& last = previous.Frame(seam - 1);
    const std::uint64_t tailEnd = last.mainOffset + last.MainCapacity();
    const std::uint64_t tailStart = last.DataEnd();
    const Layer3Frame& taken = next.Frame(seam);
    const std::uint64_t needed = taken.mainDataBegin;
    for (std::uint64_t position = tailStart; position < tailEnd; ++position) {
        const std::size_t target = base + (previous.StreamOffsetOfMain(position) - firstOffset);
        const std::uint64_t fromEnd = tailEnd - position;
        out[target] = fromEnd > needed ? 0 : *next.At(next.StreamOffsetOfMain(taken.mainOffset - fromEnd));
    }
}

void AppendFrames(const Layer3Stream& stream, std::uint64_t from, std::uint64_t to,
                  std::vector<unsigned char>& out)
{
    out.insert(out.end(), stream.At(stream.FrameOffset(from)), stream.At(stream.FrameOffset(to)));
}

} // namespace cantrix
