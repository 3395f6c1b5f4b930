#pragma once
// A conversion stream from integer PCM to constant bit rate Layer-3 frames through LAME. Long
// streams are encoded in segments on the shared worker pool (segmented_encoder.h).
#include "drivers/lame_info_tag.h"
#include "drivers/layer3_tally.h"
#include "drivers/segmented_encoder.h"
#include "platform/codec_driver.h"
#include "platform/wave_format.h"

#include <cstdint>
#include <memory>

namespace cantrix {

class WorkerPool;

// Reads 8-bit unsigned or 16, 24 or 32-bit signed little-endian samples, one or two channels
// interleaved. Its output is a plain run of frames: no tag frame, no ID3 tags; the tag frame that
// describes them is handed over apart (Tag). Used by one thread at a time.
class LameStream : public CodecStream {
public:
    // `source` must satisfy LameFormatTable::IsSupportedSource and `output` be one of the formats
    // offered for it. kNotPossible when LAME rejects the conversion, kNoMemory when it cannot
    // allocate its state.
    static MmResult Open(const WAVEFORMATEX& source, const LameOutputFormat& output, WorkerPool& pool,
                         std::unique_ptr<CodecStream>& stream);

    // A bound that holds for one Convert of at most `sourceBytes`, with or without kConvertEnd.
    MmResult OutputSize(std::uint32_t sourceBytes, std::uint32_t& outputBytes) override;

    // Encodes whole sample frames only; without kConvertEnd the rest of a partial frame stays
    // unused. With kConvertEnd all given bytes count as used (a partial frame at the end is
    // dropped) and the input ends; that call and the kConvertEnd calls after it give the rest of
    // the output, each as much as the destination holds, until one gives nothing. Without
    // kConvertEnd a call may give less than the input it took, never more than the destination
    // holds. kInvalidParam when the destination is smaller than OutputSize asks for the source
    // given; kError, for this and every later call, when LAME fails.
    MmResult Convert(ACMSTREAMHEADER& header, std::uint32_t flags) override;

    // The tag frame in LAME's "Info" layout (lame_info_tag.h) of the frames given out so far. Once
    // the input has ended it states the input's length; before, what the frames can give back.
    MmResult Tag(std::vector<unsigned char>& tag, std::uint32_t flags) override;

private:
    enum class State { Encoding, Draining, Failed };

    LameStream(std::unique_ptr<SegmentedEncoder> encoder, std::uint32_t frameBytes, LameInfoTag infoTag,
               const WAVEFORMATEX& source, const LameOutputFormat& output)
        : encoder(std::move(encoder)), frameBytes(frameBytes), infoTag(std::move(infoTag)),
          sourceRate(source.nSamplesPerSec), outputRate(output.sampleRate), given(output)
    {
    }

    static std::uint64_t OutputBound(std::uint64_t frames, bool flush);

    std::unique_ptr<SegmentedEncoder> encoder;
    std::uint32_t frameBytes;
    State state = State::Encoding;

    const LameInfoTag infoTag;
    const std::uint32_t sourceRate;
    const std::uint32_t outputRate;
    std::uint64_t inputFrames = 0; // sample frames taken
    Layer3Tally given;             // the joined frames, as they leave
};

} // namespace cantrix
