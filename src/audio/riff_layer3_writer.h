#pragma once
// The RIFF/WAVE container of a Layer-3 output: "fmt " (the 32-byte format block), "fact" (the
// length in sample frames) and "data" (the codec's output), then the input's tags, if any. The
// file layer fixes every size when a chunk is left, so the writer never computes one.
#include "audio/audio_tags.h"
#include "audio/output_writer.h"

#include <utility>

namespace cantrix {

class RiffLayer3Writer : public OutputWriter {
public:
    RiffLayer3Writer(const FormatEntry& destination, const InputDescription& input, AudioTags tags)
        : destination(destination), input(input), tags(std::move(tags))
    {
    }

    // Leaves "data", writes the tags and leaves "RIFF", which fixes their sizes, and makes "fact"
    // final.
    [[nodiscard]] MmResult Finish(std::uint64_t pcmBytes) override;

protected:
    // The head's "fact" counts the whole input, in case the run ends without finishing.
    [[nodiscard]] MmResult WriteHead() override;

private:
    // The "fact" value for `pcmBytes` of the input: sample frames at the destination's rate.
    std::uint32_t FactSamples(std::uint64_t pcmBytes) const;

    const FormatEntry destination;
    const InputDescription input;
    const AudioTags tags;
    MMCKINFO riffChunk{};
    MMCKINFO factChunk{};
    MMCKINFO dataChunk{};
};

} // namespace cantrix
