#include "support/segmented_runs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace cantrix::test {

std::vector<unsigned char> EncodeSerially(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                          const std::vector<unsigned char>& pcm)
{
    std::unique_ptr<LamePcmEncoder> encoder;
    std::vector<unsigned char> mp3;
    if (LamePcmEncoder::Open(source, output, encoder) != mmresult::kNoError ||
        !encoder->Encode(pcm.data(), static_cast<std::uint32_t>(pcm.size() / encoder->FrameBytes()), mp3) ||
        !encoder->Flush(mp3))
        return {};
    return mp3;
}

SegmentedRun EncodeInSegments(const WAVEFORMATEX& source, const LameOutputFormat& output,
                              const std::vector<unsigned char>& pcm, unsigned threads, BatchDamage damage)
{
    SegmentedRun run;
    WorkerPool pool;
    pool.SetThreadLimit(threads);
    std::unique_ptr<LamePcmEncoder> first;
    if (LamePcmEncoder::Open(source, output, first) != mmresult::kNoError) {
        run.ok = false;
        return run;
    }
    SegmentedEncoder encoder(source, output, std::move(first), PlanSegments(source, output), pool);
    encoder.DamageBatchesForTesting(std::move(damage));
    std::vector<unsigned char> destination(1 << 16);
    auto give = [&](bool drain) {
        std::uint32_t produced = 0;
        do {
            run.ok = run.ok && encoder.Give(destination.data(),
                                            static_cast<std::uint32_t>(destination.size()), drain, produced);
            run.bytes.insert(run.bytes.end(), destination.begin(),
                             destination.begin() + (run.ok ? produced : 0));
        } while (run.ok && drain && produced != 0);
    };
    constexpr std::size_t kBlockFrames = 1024;
    const std::size_t frames = pcm.size() / source.nBlockAlign;
    for (std::size_t at = 0; at < frames && run.ok; at += kBlockFrames) {
        const auto count = static_cast<std::uint32_t>(std::min(kBlockFrames, frames - at));
        run.ok = encoder.Take(pcm.data() + at * source.nBlockAlign, count);
        give(false);
    }
    run.ok = run.ok && encoder.TakeEnd();
    give(true);
    run.joins = encoder.Joins();
    return run;
}

std::vector<unsigned char> MusicLikePcm(std::uint32_t rate, int channels, double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<double> left(frames), right(frames);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (double start = 0; start < seconds; start += 0.1 + 0.3 * unit(random)) {
        const double hz = 110 * std::pow(2.0, std::floor(unit(random) * 36) / 12);
        const double pan = unit(random);
        const bool drum = unit(random) < 0.4;
        const auto first = static_cast<std::size_t>(start * rate);
        for (std::size_t i = 0; i < rate && first + i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            double value = 0;
            for (int harmonic = 1; harmonic <= 6 && hz * harmonic < rate / 2.0; ++harmonic)
                value += std::sin(2 * M_PI * hz * harmonic * t) / harmonic * std::exp(-t * (3 + harmonic));
            value *= 0.2;
            if (drum && t < 0.1)
                value += (unit(random) * 2 - 1) * 0.4 * std::exp(-t * 40);
            left[first + i] += value * (1 - pan);
            right[first + i] += value * pan;
        }
    }
    std::vector<unsigned char> pcm;
    pcm.reserve(frames * channels * 2);
    auto append = [&](double value) {
        const auto sample = static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767));
        pcm.push_back(static_cast<unsigned char>(sample & 0xFF));
        pcm.push_back(static_cast<unsigned char>((sample >> 8) & 0xFF));
    };
    for (std::size_t i = 0; i < frames; ++i) {
        const double gain = std::fmod(static_cast<double>(i) / rate, 20.0) > 17 ? 0.02 : 1.0;
        append((channels == 2 ? left[i] : left[i] + right[i]) * gain);
        if (channels == 2)
            append(right[i] * gain);
    }
    return pcm;
}

} // namespace cantrix::test
