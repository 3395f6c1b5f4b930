#pragma once
// A raw Layer-3 stream: the ID3v2 tag of the input's tags, if any, then the codec's tag frame, then
// its frames. The tag frame is reserved when the file is opened and written when the run has
// finished or stopped, describing the frames the file holds (for a Layer-3 stream, its exact
// length: players trim the encoder's delay and padding with it). A stream that cannot be written
// again at its front, such as a pipe, goes without one; it still gets the ID3v2 tag, whose size is
// known before the first frame.
#include "audio/audio_tags.h"
#include "audio/output_writer.h"

#include <cstdint>
#include <utility>

namespace cantrix {

class RawLayer3Writer : public OutputWriter {
public:
    RawLayer3Writer(AudioTags tags, CodecTagSource& streamTag) : tags(std::move(tags)), streamTag(streamTag)
    {
    }

    // Writes the codec's tag frame over its placeholder.
    [[nodiscard]] MmResult Finish(std::uint64_t pcmBytes) override;

protected:
    // Writes the ID3v2 tag and reserves the tag frame's room with the codec's placeholder.
    [[nodiscard]] MmResult WriteHead() override;

private:
    const AudioTags tags;
    CodecTagSource& streamTag;
    long tagAt = -1; // where the tag frame's placeholder stands; -1: the stream has none
    long tagBytes = 0;
};

} // namespace cantrix
