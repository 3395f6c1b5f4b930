#pragma once
// The check every frame passes before the segmented encoder gives it out. A joined stream must be
// indistinguishable in its frame grid from one serial encode: each frame is the next one (none
// missing, none twice), carries the header the format and its position call for (the padding bit
// included, the encoder's own choices as in the stream's first frame), and its main data lies within
// the bytes given out before it and its own slot, after the data of the frame before. It reads
// headers and side information only.
#include "drivers/lame_output_formats.h"

#include <cstddef>
#include <cstdint>

namespace cantrix {

class FrameGridCheck {
public:
    explicit FrameGridCheck(const LameOutputFormat& format) : format(format) {}

    // Whether the `size` bytes at `bytes` are exactly the whole stream frames [first, first + count)
    // and each passes. Only then does the check move past them; otherwise it stays where it was.
    bool Accept(const unsigned char* bytes, std::size_t size, std::uint64_t first, std::uint64_t count);

private:
    bool HeaderExpected(std::uint64_t frame, std::uint32_t header);

    LameOutputFormat format;
    // The header bits the encoder chooses, as its first frame has them.
    bool chosenKnown = false;
    std::uint32_t chosenMask = 0;
    std::uint32_t chosenBits = 0;
    std::uint64_t nextFrame = 0;
    std::uint64_t nextMainOffset = 0;
    std::uint64_t lastDataEnd = 0;
};

} // namespace cantrix
