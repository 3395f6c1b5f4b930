// How much larger the coding error of a segmented Layer-3 stream is than that of a serial encode
// of the same input, frame by frame (1152 samples) and over the whole file. Both are decoded with
// libmpg123 and aligned to the source at the delay where the serial decoding fits best.
// Usage: coding_error SOURCE.wav SERIAL.mp3 SEGMENTED.mp3   (16-bit PCM source, same rate out)
#include "platform/mpeg_decoder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadAll(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::uint32_t Le(const std::vector<unsigned char>& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// The 16-bit samples of a PCM WAV file, with its rate and channels.
bool ReadWav(const char* path, std::vector<std::int16_t>& samples, long& rate, int& channels)
{
    const std::vector<unsigned char> wav = ReadAll(path);
    for (std::size_t at = 12; at + 8 <= wav.size();) {
        const std::uint32_t size = Le(wav, at + 4, 4);
        if (std::memcmp(&wav[at], "fmt ", 4) == 0) {
            channels = static_cast<int>(Le(wav, at + 10, 2));
            rate = static_cast<long>(Le(wav, at + 12, 4));
            if (Le(wav, at + 22, 2) != 16)
                return false;
        } else if (std::memcmp(&wav[at], "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(wav.size(), at + 8 + std::size_t{size});
            for (std::size_t i = at + 8; i + 1 < end; i += 2)
                samples.push_back(static_cast<std::int16_t>(Le(wav, i, 2)));
            return channels > 0;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

std::vector<std::int16_t> Decode(const char* path, long rate, int channels)
{
    const std::vector<unsigned char> mp3 = ReadAll(path);
    cantrix::MpegDecoder decoder;
    std::vector<std::int16_t> samples;
    if (!decoder.Open(rate, channels) || !decoder.Feed(mp3.data(), mp3.size()))
        return samples;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        std::size_t got = 0;
        const cantrix::MpegDecoder::Status status = decoder.Read(buffer.data(), buffer.size(), got);
        const std::size_t first = samples.size();
        samples.resize(first + got / 2);
        std::memcpy(samples.data() + first, buffer.data(), got / 2 * 2);
        if (status != cantrix::MpegDecoder::Status::Data)
            return samples;
    }
}

// The squared error of `decoded`, `delay` sample frames late, against `source` over frames
// [from, to) of the source.
double Error(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& decoded, std::size_t delay,
             std::size_t from, std::size_t to, int channels)
{
    double sum = 0;
    for (std::size_t i = from * channels; i < to * channels; ++i) {
        const std::size_t at = i + delay * channels;
        const double difference = (at < decoded.size() ? decoded[at] : 0) - source[i];
        sum += difference * difference;
    }
    return sum;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: coding_error SOURCE.wav SERIAL.mp3 SEGMENTED.mp3\n");
        return 2;
    }
    std::vector<std::int16_t> source;
    long rate = 0;
    int channels = 0;
    if (!ReadWav(argv[1], source, rate, channels)) {
        std::fprintf(stderr, "coding_error: %s is no 16-bit PCM WAV file\n", argv[1]);
        return 1;
    }
    const std::vector<std::int16_t> serial = Decode(argv[2], rate, channels);
    const std::vector<std::int16_t> segmented = Decode(argv[3], rate, channels);
    constexpr std::size_t kFrame = 1152;
    const std::size_t frames = source.size() / channels;
    if (frames < 4 * kFrame) {
        std::fprintf(stderr, "coding_error: the source is too short\n");
        return 1;
    }

    std::size_t delay = 0;
    double best = INFINITY;
    for (std::size_t candidate = 0; candidate < 2 * kFrame; ++candidate) {
        const double error = Error(source, serial, candidate, frames / 2, frames / 2 + 2 * kFrame, channels);
        if (error < best) {
            best = error;
            delay = candidate;
        }
    }
    double serialTotal = 0, segmentedTotal = 0, worst = -INFINITY;
    std::size_t worstFrame = 0;
    for (std::size_t frame = 0; (frame + 1) * kFrame <= frames; ++frame) {
        const double a = Error(source, serial, delay, frame * kFrame, (frame + 1) * kFrame, channels);
        const double b = Error(source, segmented, delay, frame * kFrame, (frame + 1) * kFrame, channels);
        serialTotal += a;
        segmentedTotal += b;
        const double excess = 10 * std::log10((b + 1) / (a + 1));
        if (excess > worst) {
            worst = excess;
            worstFrame = frame;
        }
    }
    std::printf("%+.2f %zu %+.3f\n", worst, worstFrame, 10 * std::log10(segmentedTotal / serialTotal));
    return 0;
}
