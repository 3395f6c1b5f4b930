#include "support/seam_quality.h"

#include "drivers/layer3_geometry.h"
#include "platform/mpeg_decoder.h"
#include "support/segmented_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace cantrix::test {

namespace {
constexpr int kDitheredEncodes = 3;
constexpr double kSilentFrameDb = -60;

std::vector<double> Samples16(const std::vector<unsigned char>& bytes)
{
    std::vector<double> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::int16_t sample;
        std::memcpy(&sample, &bytes[2 * i], 2);
        samples[i] = sample / 32768.0;
    }
    return samples;
}

std::vector<double> Decode(const std::vector<unsigned char>& mp3, long rate, int channels)
{
    MpegDecoder decoder;
    std::vector<unsigned char> decoded, buffer(1 << 16);
    if (!decoder.Open(rate, channels) || !decoder.Feed(mp3.data(), mp3.size()))
        return {};
    for (;;) {
        std::size_t got = 0;
        const MpegDecoder::Status status = decoder.Read(buffer.data(), buffer.size(), got);
        decoded.insert(decoded.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
        if (status != MpegDecoder::Status::Data)
            return Samples16(decoded);
    }
}

// The input with every sample moved by -1, 0 or +1 LSB at random.
std::vector<unsigned char> Dithered(const std::vector<unsigned char>& pcm, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> step(-1, 1);
    std::vector<unsigned char> out(pcm.size());
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
        std::int16_t sample;
        std::memcpy(&sample, &pcm[i], 2);
        const auto moved = static_cast<std::int16_t>(std::clamp(sample + step(random), -32768, 32767));
        std::memcpy(&out[i], &moved, 2);
    }
    return out;
}

// The squared error of `decoded`, `delay` sample frames late, against `source` over sample frames
// [from, to).
double Error(const std::vector<double>& source, const std::vector<double>& decoded, std::size_t delay,
             std::size_t from, std::size_t to, int channels)
{
    double sum = 0;
    for (std::size_t i = from * channels; i < to * channels && i < source.size(); ++i) {
        const std::size_t at = i + delay * channels;
        const double difference = (at < decoded.size() ? decoded[at] : 0) - source[i];
        sum += difference * difference;
    }
    return sum;
}

double Db(double ratio)
{
    return 10 * std::log10(ratio);
}
} // namespace

SeamJudgement JudgeSeams(const WAVEFORMATEX& source, const LameOutputFormat& output,
                         const std::vector<unsigned char>& pcm, const std::vector<unsigned char>& serial,
                         const std::vector<unsigned char>& segmented)
{
    const int channels = output.channels;
    const long rate = static_cast<long>(output.sampleRate);
    const std::vector<double> original = Samples16(pcm);
    const std::vector<double> serialDecoded = Decode(serial, rate, channels);
    const std::vector<double> segmentedDecoded = Decode(segmented, rate, channels);
    std::vector<std::vector<double>> dithered;
    for (int seed = 1; seed <= kDitheredEncodes; ++seed)
        dithered.push_back(Decode(EncodeSerially(source, output, Dithered(pcm, static_cast<unsigned>(seed))), rate, channels));

    // The decoder's output is late by the encoder's and the decoder's delays: the lag where the
    // serial decoding fits the source best, in the middle of the input.
    const std::size_t frameSamples = layer3::FrameSamples(output.sampleRate);
    const std::size_t frames = original.size() / channels;
    std::size_t delay = 0;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t candidate = 0; candidate < 3 * frameSamples && frames > 8 * frameSamples; ++candidate) {
        const double error = Error(original, serialDecoded, candidate, frames / 2, frames / 2 + 2 * frameSamples, channels);
        if (error < best) {
            best = error;
            delay = candidate;
        }
    }

    SeamJudgement judgement;
    double serialTotal = 0, segmentedTotal = 0;
    for (std::size_t frame = 0; (frame + 1) * frameSamples <= frames; ++frame) {
        const std::size_t from = frame * frameSamples, to = from + frameSamples;
        const double serialError = Error(original, serialDecoded, delay, from, to, channels);
        const double segmentedError = Error(original, segmentedDecoded, delay, from, to, channels);
        serialTotal += serialError;
        segmentedTotal += segmentedError;
        if (Db(serialError / static_cast<double>(frameSamples * channels)) < kSilentFrameDb)
            continue;
        for (const std::vector<double>& other : dithered) {
            judgement.ditheredExcessDb = std::max(judgement.ditheredExcessDb,
                                                  Db(Error(original, other, delay, from, to, channels) / serialError));
        }
        const double excess = Db(segmentedError / serialError);
        ++judgement.judgedFrames;
        if (excess > judgement.worstExcessDb) {
            judgement.worstExcessDb = excess;
            judgement.worstFrame = frame;
        }
    }
    judgement.wholeDb = Db(segmentedTotal / serialTotal);
    return judgement;
}

} // namespace cantrix::test
