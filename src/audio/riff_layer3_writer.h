#pragma once
// The RIFF/WAVE container of a Layer-3 output: "fmt " (the 32-byte format block), "fact" (the
// length in sample frames) and "data" (the codec's output). The file layer fixes every size when a
// chunk is left, so the writer never computes one.
#include "audio/output_writer.h"

namespace cantrix {

class RiffLayer3Writer : public OutputWriter {
public:
    RiffLayer3Writer(const FormatEntry& destination, const InputDescription& input)
        : destination(destination), input(input)
    {
    }

    // Leaves "data" and "RIFF", which fixes their sizes, and makes "fact" final.
    [[nodiscard]] MmResult Finish(std::uint64_t pcmBytes) override;

protected:
    // The head's "fact" counts the whole input, in case the run ends without finishing.
    [[nodiscard]] MmResult WriteHead() override;

private:
    // The "fact" value for `pcmBytes` of the input: sample frames at the destination's rate.
    std::uint32_t FactSamples(std::uint64_t pcmBytes) const;
    [[nodiscard]] MmResult WriteChunk(FourCC id, const void* data, long size, MMCKINFO& chunk);

    const FormatEntry destination;
    const InputDescription input;
    MMCKINFO riffChunk{};
    MMCKINFO factChunk{};
    MMCKINFO dataChunk{};
};

} // namespace cantrix
