#pragma once
// A raw Layer-3 stream: the ID3v2 tag of the input's tags, if any, then the codec's frames.
#include "audio/audio_tags.h"
#include "audio/id3_tag.h"
#include "audio/output_writer.h"

#include <utility>
#include <vector>

namespace cantrix {

class RawLayer3Writer : public OutputWriter {
public:
    explicit RawLayer3Writer(AudioTags tags) : tags(std::move(tags)) {}

    [[nodiscard]] MmResult Finish(std::uint64_t) override { return mmresult::kNoError; }

protected:
    [[nodiscard]] MmResult WriteHead() override { return WriteTagPrefix(); }

private:
    // Players look for the tag at the very start; its size is known before the first frame, so
    // a stream that cannot seek gets it too.
    [[nodiscard]] MmResult WriteTagPrefix()
    {
        const std::vector<unsigned char> tag = RenderId3v2Tag(tags);
        const long size = static_cast<long>(tag.size());
        return size == 0 || file.Write(tag.data(), size) == size ? mmresult::kNoError
                                                                 : mmresult::kCannotWrite;
    }

    const AudioTags tags;
};

} // namespace cantrix
