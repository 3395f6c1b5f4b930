#include "drivers/lame_pcm_encoder.h"

#include "drivers/vector_state.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <lame/lame.h>

namespace cantrix {

namespace {
static_assert(sizeof(short) == 2 && sizeof(int) == 4 && sizeof(float) == 4 && sizeof(double) == 8,
              "LAME's sample types must match the PCM widths");

// Sample frames per LAME call. A 2048-byte source block holds at most 2048 frames, so the
// worker's blocks take one call each.
constexpr std::uint32_t kChunkFrames = 4096;

// LAME's "output buffer too small" result; also used when no room is left, since a size of 0
// would tell LAME not to check at all.
constexpr int kLameBufferTooSmall = -1;

// 8-bit PCM is unsigned around 128; LAME's short samples are signed 16-bit.
constexpr int kUnsigned8Offset = 128;
constexpr int kByteShift = 8;

// A float sample read from the source. Beyond full scale (±1.0) it is clipped, as a conversion to
// integer PCM would clip it; NaN, which has no level, becomes silence.
template <typename Sample> float FullScaleSample(const unsigned char* bytes)
{
    Sample value;
    std::memcpy(&value, bytes, sizeof value);
    if (std::isnan(value))
        return 0.0F;
    return static_cast<float>(std::clamp<Sample>(value, -1.0, 1.0));
}

int Capacity(std::uint64_t bytes)
{
    return static_cast<int>(std::min<std::uint64_t>(bytes, INT_MAX));
}

// Runs `call` on room appended to `output` and keeps what it wrote; false when it fails.
template <typename Call> bool AppendWith(std::vector<unsigned char>& output, std::uint64_t room, Call call)
{
    const std::size_t used = output.size();
    output.resize(used + room);
    std::uint32_t produced = 0;
    const bool ok = call(output.data() + used, static_cast<std::uint32_t>(room), produced);
    output.resize(used + (ok ? produced : 0));
    return ok;
}
} // namespace

LamePcmEncoder::LamePcmEncoder(std::unique_ptr<LameEncoder> encoder, std::uint16_t channels,
                               std::uint16_t bytesPerSample, bool floatSamples)
    : encoder(std::move(encoder)), channels(channels), bytesPerSample(bytesPerSample),
      floatSamples(floatSamples), frameBytes(std::uint32_t{channels} * bytesPerSample)
{
    const std::size_t samples = std::size_t{kChunkFrames} * channels;
    if (floatSamples)
        floats.resize(samples);
    else if (bytesPerSample <= 2)
        shortSamples.resize(samples);
    else
        intSamples.resize(samples);
}

MmResult LamePcmEncoder::Open(const WAVEFORMATEX& source, const LameOutputFormat& output,
                              std::unique_ptr<LamePcmEncoder>& encoder)
{
    encoder.reset();
    const LameEncoderSettings settings{source.nSamplesPerSec, source.nChannels, output.sampleRate,
                                       output.channels, output.kbps};
    std::unique_ptr<LameEncoder> lame;
    const MmResult result = LameEncoder::Open(settings, lame);
    if (result != mmresult::kNoError)
        return result;
    encoder.reset(new LamePcmEncoder(std::move(lame), source.nChannels,
                                     static_cast<std::uint16_t>(source.wBitsPerSample / 8),
                                     source.wFormatTag == kWaveFormatIeeeFloat));
    return mmresult::kNoError;
}

bool LamePcmEncoder::Encode(const unsigned char* source, std::uint32_t frames, unsigned char* output,
                            std::uint32_t capacity, std::uint32_t& produced)
{
    produced = 0;
    while (frames > 0) {
        const std::uint32_t chunk = std::min(frames, kChunkFrames);
        const std::uint32_t room = capacity - produced;
        const int written =
            room == 0 ? kLameBufferTooSmall
                      : EncodeChunk(source, static_cast<int>(chunk), output + produced, Capacity(room));
        if (written < 0)
            return false;
        produced += static_cast<std::uint32_t>(written);
        source += std::size_t{chunk} * frameBytes;
        frames -= chunk;
    }
    return true;
}

bool LamePcmEncoder::Encode(const unsigned char* source, std::uint32_t frames,
                            std::vector<unsigned char>& output)
{
    return AppendWith(output, OutputBound(frames),
                      [&](unsigned char* room, std::uint32_t size, std::uint32_t& produced) {
                          return Encode(source, frames, room, size, produced);
                      });
}

bool LamePcmEncoder::Flush(unsigned char* output, std::uint32_t capacity, std::uint32_t& produced)
{
    produced = 0;
    ClearUpperVectorState(); // see vector_state.h
    const int flushed =
        capacity == 0 ? kLameBufferTooSmall : lame_encode_flush(encoder->Get(), output, Capacity(capacity));
    if (flushed < 0)
        return false;
    produced = static_cast<std::uint32_t>(flushed);
    return true;
}

bool LamePcmEncoder::Flush(std::vector<unsigned char>& output)
{
    return AppendWith(output, kFlushBound,
                      [&](unsigned char* room, std::uint32_t size, std::uint32_t& produced) {
                          return Flush(room, size, produced);
                      });
}

bool LamePcmEncoder::EmptyReservoir(std::vector<unsigned char>& output)
{
    return AppendWith(output, kFlushBound,
                      [&](unsigned char* room, std::uint32_t size, std::uint32_t& produced) {
                          ClearUpperVectorState();
                          const int written = lame_encode_flush_nogap(encoder->Get(), room, Capacity(size));
                          produced = static_cast<std::uint32_t>(std::max(written, 0));
                          return written >= 0;
                      });
}

std::uint32_t LamePcmEncoder::FramesEncoded() const
{
    return static_cast<std::uint32_t>(std::max(lame_get_frameNum(encoder->Get()), 0));
}

int LamePcmEncoder::EncodeChunk(const unsigned char* source, int frames, unsigned char* output, int capacity)
{
    const std::size_t samples = static_cast<std::size_t>(frames) * channels;
    ClearUpperVectorState(); // see vector_state.h
    if (floatSamples) {
        for (std::size_t i = 0; i < samples; ++i) {
            const unsigned char* const sample = source + i * bytesPerSample;
            floats[i] = bytesPerSample == sizeof(float) ? FullScaleSample<float>(sample)
                                                        : FullScaleSample<double>(sample);
        }
        return EncodeFloats(frames, output, capacity);
    }
    switch (bytesPerSample) {
    case 1:
        for (std::size_t i = 0; i < samples; ++i)
            shortSamples[i] = static_cast<short>((source[i] - kUnsigned8Offset) << kByteShift);
        return EncodeShorts(frames, output, capacity);
    case 2:
        std::memcpy(shortSamples.data(), source, samples * sizeof(short));
        return EncodeShorts(frames, output, capacity);
    case 3:
        // LAME's int samples use the full 32-bit range: the three bytes become the top three.
        for (std::size_t i = 0; i < samples; ++i) {
            const unsigned char* const sample = source + i * 3;
            const std::uint32_t value = std::uint32_t{sample[0]} << 8 | std::uint32_t{sample[1]} << 16 |
                                        std::uint32_t{sample[2]} << 24;
            intSamples[i] = static_cast<int>(value);
        }
        return EncodeInts(frames, output, capacity);
    default:
        std::memcpy(intSamples.data(), source, samples * sizeof(int));
        return EncodeInts(frames, output, capacity);
    }
}

int LamePcmEncoder::EncodeShorts(int frames, unsigned char* output, int capacity)
{
    if (channels == 2)
        return lame_encode_buffer_interleaved(encoder->Get(), shortSamples.data(), frames, output, capacity);
    return lame_encode_buffer(encoder->Get(), shortSamples.data(), nullptr, frames, output, capacity);
}

int LamePcmEncoder::EncodeInts(int frames, unsigned char* output, int capacity)
{
    if (channels == 2)
        return lame_encode_buffer_interleaved_int(encoder->Get(), intSamples.data(), frames, output,
                                                  capacity);
    return lame_encode_buffer_int(encoder->Get(), intSamples.data(), nullptr, frames, output, capacity);
}

int LamePcmEncoder::EncodeFloats(int frames, unsigned char* output, int capacity)
{
    if (channels == 2)
        return lame_encode_buffer_interleaved_ieee_float(encoder->Get(), floats.data(), frames, output,
                                                         capacity);
    return lame_encode_buffer_ieee_float(encoder->Get(), floats.data(), nullptr, frames, output, capacity);
}

} // namespace cantrix
