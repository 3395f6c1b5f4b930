#pragma once
// Runs of the Layer-3 driver's encoders that the segmented encoder's tests and benchmark compare:
// one serial encode, and a segmented one driven as the driver's stream drives it. No test
// framework here, so that the benchmark can use them too.
#include "drivers/segmented_encoder.h"

#include <functional>
#include <vector>

namespace cantrix::test {

// One encoder over the whole input, as a serial encode writes it; empty when LAME fails.
std::vector<unsigned char> EncodeSerially(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                          const std::vector<unsigned char>& pcm);

struct SegmentedRun {
    bool ok = true;
    std::vector<unsigned char> bytes;
    SegmentedEncoder::JoinCounts joins;
};

using BatchDamage = std::function<void(SegmentedEncoder::Batch, std::vector<unsigned char>&)>;

// Blocks of input, what is ready after each, then the end and a drain, on a pool of `threads`.
SegmentedRun EncodeInSegments(const WAVEFORMATEX& source, const LameOutputFormat& output,
                              const std::vector<unsigned char>& pcm, unsigned threads, BatchDamage damage = {});

// Something like music in 16-bit PCM: plucked notes with harmonics, drum hits of noise, and a
// quiet passage, so that the encoder meets transients, steady tones and a filling bit reservoir.
std::vector<unsigned char> MusicLikePcm(std::uint32_t rate, int channels, double seconds);

} // namespace cantrix::test
