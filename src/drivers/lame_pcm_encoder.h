#pragma once
// One LAME encoder fed with interleaved PCM: 8-bit unsigned or 16, 24 or 32-bit signed
// little-endian samples, or 32 or 64-bit IEEE float samples, one or two channels. Its output is a
// plain run of constant bit rate frames: no tag frame, no ID3 tags.
//
// Thread rules: used by one thread at a time; different encoders may run on different threads.
#include "drivers/lame_encoder.h"
#include "drivers/lame_format_table.h"
#include "platform/wave_format.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace cantrix {

class LamePcmEncoder {
public:
    // `source` must satisfy LameFormatTable::IsSupportedSource and `output` be one of the formats
    // offered for it. kNotPossible when LAME rejects the conversion, kNoMemory when it cannot
    // allocate its state.
    static MmResult Open(const WAVEFORMATEX& source, const LameOutputFormat& output,
                         std::unique_ptr<LamePcmEncoder>& encoder);

    // Bytes of one sample frame (all channels) of the source.
    std::uint32_t FrameBytes() const { return frameBytes; }

    // LAME's worst case for the output of encoding `frames` sample frames (its documented 1.25
    // bytes per sample and channel, plus 7200 bytes of frames it may still hold), and of a flush.
    static constexpr std::uint64_t OutputBound(std::uint64_t frames)
    {
        return (frames * 5 + 3) / 4 + kEncodeSlack;
    }
    static constexpr std::uint64_t kEncodeSlack = 7200;
    static constexpr std::uint64_t kFlushBound = 7200;

    // Encodes `frames` sample frames into at most `capacity` bytes; false when LAME fails (its
    // state is then undefined, so the encoder must not be used again).
    bool Encode(const unsigned char* source, std::uint32_t frames, unsigned char* output,
                std::uint32_t capacity, std::uint32_t& produced);
    // The same, appending to `output`.
    bool Encode(const unsigned char* source, std::uint32_t frames, std::vector<unsigned char>& output);

    // Encodes what LAME still holds and ends the stream; false when LAME fails.
    bool Flush(unsigned char* output, std::uint32_t capacity, std::uint32_t& produced);
    bool Flush(std::vector<unsigned char>& output);

    // Completes the frames encoded so far and empties the bit reservoir, so that the next frame's
    // data starts in that frame. The input LAME holds stays, and encoding goes on as before.
    bool EmptyReservoir(std::vector<unsigned char>& output);

    // The frames LAME has encoded so far.
    std::uint32_t FramesEncoded() const;

private:
    LamePcmEncoder(std::unique_ptr<LameEncoder> encoder, std::uint16_t channels, std::uint16_t bytesPerSample,
                   bool floatSamples);

    // One LAME call for at most the conversion buffer's frames; LAME's result.
    int EncodeChunk(const unsigned char* source, int frames, unsigned char* output, int capacity);
    int EncodeShorts(int frames, unsigned char* output, int capacity);
    int EncodeInts(int frames, unsigned char* output, int capacity);
    int EncodeFloats(int frames, unsigned char* output, int capacity);

    std::unique_ptr<LameEncoder> encoder;
    std::uint16_t channels;
    std::uint16_t bytesPerSample;
    bool floatSamples;
    std::uint32_t frameBytes;
    // The conversion buffer, allocated once: integer samples of up to 16 bits go to LAME as
    // shorts, wider ones as ints, float samples as floats; only the one the source needs has room.
    std::vector<short> shortSamples;
    std::vector<int> intSamples;
    std::vector<float> floats;
};

} // namespace cantrix
