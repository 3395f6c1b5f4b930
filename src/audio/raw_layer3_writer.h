#pragma once
// A raw Layer-3 stream: the codec's tag frame, then its frames. The tag frame is reserved when the
// file is opened and written when the run has finished or stopped, describing the frames the file
// holds (for a Layer-3 stream, its exact length: players trim the encoder's delay and padding
// with it). A stream that cannot be written again at its front, such as a pipe, goes without one.
#include "audio/output_writer.h"

#include <cstdint>

namespace cantrix {

class RawLayer3Writer : public OutputWriter {
public:
    explicit RawLayer3Writer(CodecTagSource& tags) : tags(tags) {}

    // Writes the codec's tag over its placeholder.
    [[nodiscard]] MmResult Finish(std::uint64_t pcmBytes) override;

protected:
    // Reserves the tag's room with the codec's placeholder.
    [[nodiscard]] MmResult WriteHead() override;

private:
    CodecTagSource& tags;
    long tagAt = -1; // where the placeholder stands; -1: the stream has no tag
    long tagBytes = 0;
};

} // namespace cantrix
