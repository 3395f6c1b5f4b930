#pragma once
// A conversion stream from integer PCM to constant bit rate Layer-3 frames through LAME.
#include "drivers/lame_encoder.h"
#include "drivers/lame_format_table.h"
#include "platform/codec_driver.h"
#include "platform/wave_format.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace cantrix {

// Reads 8-bit unsigned or 16, 24 or 32-bit signed little-endian samples, one or two channels
// interleaved. Its output is a plain run of frames: no tag frame, no ID3 tags. Used by one thread
// at a time.
class LameStream : public CodecStream {
public:
    // `source` must satisfy LameFormatTable::IsSupportedSource and `output` be one of the formats
    // offered for it. kNotPossible when LAME rejects the conversion, kNoMemory when it cannot
    // allocate its state.
    static MmResult Open(const WAVEFORMATEX& source, const LameOutputFormat& output,
                         std::unique_ptr<CodecStream>& stream);

    // A bound that holds for one Convert of at most `sourceBytes`, with or without kConvertEnd.
    MmResult OutputSize(std::uint32_t sourceBytes, std::uint32_t& outputBytes) override;

    // Encodes whole sample frames only; without kConvertEnd the rest of a partial frame stays
    // unused. With kConvertEnd all given bytes count as used (a partial frame at the end is
    // dropped) and the encoder is flushed; the stream is then finished and every later
    // kConvertEnd call produces nothing. kInvalidParam when the destination is smaller than
    // OutputSize asks for the source given; kError, for this and every later call, when LAME fails.
    MmResult Convert(ACMSTREAMHEADER& header, std::uint32_t flags) override;

private:
    enum class State { Encoding, Finished, Failed };

    LameStream(std::unique_ptr<LameEncoder> encoder, std::uint16_t channels, std::uint16_t bytesPerSample);

    static std::uint64_t OutputBound(std::uint64_t frames, bool flush);
    // Encodes `frames` sample frames into at most `capacity` bytes; false when LAME fails.
    bool EncodeFrames(const unsigned char* source, std::uint32_t frames, unsigned char* output,
                      std::uint32_t capacity, std::uint32_t& produced);
    // One LAME call for at most the conversion buffer's frames; LAME's result.
    int EncodeChunk(const unsigned char* source, int frames, unsigned char* output, int capacity);
    int EncodeShorts(int frames, unsigned char* output, int capacity);
    int EncodeInts(int frames, unsigned char* output, int capacity);

    std::unique_ptr<LameEncoder> encoder;
    std::uint16_t channels;
    std::uint16_t bytesPerSample;
    std::uint32_t frameBytes;
    // The conversion buffer, allocated once: samples of up to 16 bits go to LAME as shorts, wider
    // ones as ints; only the one the source needs has room.
    std::vector<short> shortSamples;
    std::vector<int> intSamples;
    State state = State::Encoding;
};

} // namespace cantrix
