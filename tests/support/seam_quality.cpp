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

SeamJudge::SeamJudge(const WAVEFORMATEX& source, const LameOutputFormat& output,
                     const std::vector<unsigned char>& pcm, const std::vector<unsigned char>& serialBytes)
    : source(source), output(output), pcm(pcm), original(Samples16(pcm)),
      serial(Decode(serialBytes, output.sampleRate, output.channels))
{
    for (unsigned seed = 1; seed <= kDitheredEncodes; ++seed)
        dithered.push_back(Decode(DitheredEncode(seed), output.sampleRate, output.channels));
    // The decoder's output is late by the encoder's and the decoder's delays: the lag where the
    // serial decoding fits the source best, in the middle of the input.
    const std::size_t frameSamples = layer3::FrameSamples(output.sampleRate);
    const std::size_t frames = original.size() / output.channels;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t candidate = 0; candidate < 3 * frameSamples && frames > 8 * frameSamples; ++candidate) {
        const double error =
            Error(original, serial, candidate, frames / 2, frames / 2 + 2 * frameSamples, output.channels);
        if (error < best) {
            best = error;
            delay = candidate;
        }
    }
}

std::vector<unsigned char> SeamJudge::DitheredEncode(unsigned seed) const
{
    return EncodeSerially(source, output, Dithered(pcm, seed));
}

SeamJudgement SeamJudge::Judge(const std::vector<unsigned char>& candidateBytes) const
{
    const int channels = output.channels;
    const std::vector<double> candidate = Decode(candidateBytes, output.sampleRate, channels);
    const std::size_t frameSamples = layer3::FrameSamples(output.sampleRate);
    const std::size_t frames = original.size() / channels;
    SeamJudgement judgement;
    double serialTotal = 0, candidateTotal = 0;
    for (std::size_t frame = 0; (frame + 1) * frameSamples <= frames; ++frame) {
        const std::size_t from = frame * frameSamples, to = from + frameSamples;
        const double serialError = Error(original, serial, delay, from, to, channels);
        const double candidateError = Error(original, candidate, delay, from, to, channels);
        serialTotal += serialError;
        candidateTotal += candidateError;
        if (Db(serialError / static_cast<double>(frameSamples * channels)) < kSilentFrameDb)
            continue;
        for (const std::vector<double>& other : dithered) {
            judgement.ditheredExcessDb =
                std::max(judgement.ditheredExcessDb,
                         Db(Error(original, other, delay, from, to, channels) / serialError));
        }
        const double excess = Db(candidateError / serialError);
        ++judgement.judgedFrames;
        if (excess > judgement.worstExcessDb) {
            judgement.worstExcessDb = excess;
            judgement.worstFrame = frame;
        }
    }
    judgement.wholeDb = Db(candidateTotal / serialTotal);
    return judgement;
}

} // namespace cantrix::test
