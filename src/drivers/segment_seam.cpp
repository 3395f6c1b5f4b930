#include "drivers/segment_seam.h"

#include <algorithm>

namespace cantrix {

bool SeamFits(const SegmentFrames& previous, std::uint64_t from, const SegmentFrames& next,
              std::uint64_t seam)
{
    if (seam <= from || from < previous.firstFrame || seam < next.firstFrame)
        return false;
    const std::size_t last = seam - 1 - previous.firstFrame;
    const std::size_t first = seam - next.firstFrame;
    const auto& before = previous.index.Frames();
    const auto& after = next.index.Frames();
    if (last >= before.size() || first >= after.size())
        return false;
    if (after[first].mainDataBegin > previous.index.FreeAfter(last) ||
        before[last].DataEnd() < before[from - previous.firstFrame].mainOffset)
        return false;
    for (int channel = 0; channel < 2; ++channel) {
        if (!BlockTypesJoin(before[last].lastBlockType[channel], after[first].firstBlockType[channel]))
            return false;
    }
    return true;
}

void AppendUpToSeam(const SegmentFrames& previous, std::uint64_t from, const SegmentFrames& next,
                    std::uint64_t seam, std::vector<unsigned char>& out)
{
    const auto& before = previous.index.Frames();
    const Layer3Frame& first = before[from - previous.firstFrame];
    const Layer3Frame& last = before[seam - 1 - previous.firstFrame];
    const std::size_t base = out.size();
    out.insert(out.end(), previous.bytes.begin() + static_cast<std::ptrdiff_t>(first.offset),
               previous.bytes.begin() + static_cast<std::ptrdiff_t>(last.offset + last.length));

    // The free tail, in the previous segment's main data positions, and what the next frame needs.
    const std::uint64_t tailEnd = last.mainOffset + last.MainCapacity();
    const std::uint64_t tailStart = last.DataEnd();
    const Layer3Frame& taken = next.index.Frames()[seam - next.firstFrame];
    const std::uint64_t needed = taken.mainDataBegin;
    for (std::uint64_t position = tailStart; position < tailEnd; ++position) {
        const std::size_t target = base + previous.index.StreamOffsetOfMain(position) - first.offset;
        const std::uint64_t fromEnd = tailEnd - position;
        out[target] =
            fromEnd > needed ? 0 : next.bytes[next.index.StreamOffsetOfMain(taken.mainOffset - fromEnd)];
    }
}

void AppendToEnd(const SegmentFrames& last, std::uint64_t from, std::vector<unsigned char>& out)
{
    const Layer3Frame& first = last.index.Frames()[from - last.firstFrame];
    out.insert(out.end(), last.bytes.begin() + static_cast<std::ptrdiff_t>(first.offset), last.bytes.end());
}

} // namespace cantrix
