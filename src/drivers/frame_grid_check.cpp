#include "drivers/frame_grid_check.h"

#include "drivers/layer3_frames.h"
#include "drivers/layer3_geometry.h"

namespace cantrix {

bool FrameGridCheck::Accept(const unsigned char* bytes, std::size_t size, std::uint64_t first,
                            std::uint64_t count)
{
    if (first != nextFrame)
        return false;
    FrameGridCheck after = *this;
    std::size_t at = 0;
    for (std::uint64_t frame = first; frame < first + count; ++frame) {
        Layer3Frame read;
        if (ReadLayer3Frame(bytes + at, size - at, read) != FrameRead::Complete ||
            !after.HeaderExpected(frame, read.header))
            return false;
        read.mainOffset = after.nextMainOffset;
        if (!MainDataFits(read, after.lastDataEnd))
            return false;
        at += read.length;
        after.nextMainOffset += read.MainCapacity();
        after.lastDataEnd = read.DataEnd();
    }
    if (at != size)
        return false;
    after.nextFrame = first + count;
    *this = after;
    return true;
}

bool FrameGridCheck::HeaderExpected(std::uint64_t frame, std::uint32_t header)
{
    const std::uint32_t fieldsMask = layer3::FormatFieldsMask(format.channels);
    if ((header & fieldsMask) != layer3::FormatFields(format.sampleRate, format.channels, format.kbps, frame))
        return false;
    if (!chosenKnown) {
        const std::uint32_t mode = (header & layer3::kModeBits) >> 6;
        if (format.channels == 2 && mode == layer3::kModeMono)
            return false;
        // A joint stereo encoder decides mid/side coding frame by frame.
        chosenMask = ~fieldsMask & ~(mode == layer3::kModeJointStereo ? layer3::kModeExtensionBits : 0u);
        chosenBits = header & chosenMask;
        chosenKnown = true;
    }
    return (header & chosenMask) == chosenBits;
}

} // namespace cantrix
