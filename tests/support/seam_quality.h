#pragma once
// How well a segmented stream codes its input, judged against one serial encode of the same input
// and against how much serial encodes themselves move when the input changes by no more than
// ±1 LSB: at low bit rates the encoder's decisions flip at the slightest change. Each frame's error
// over the serial encode's may be at most the largest such excess that three dithered serial
// encodes show in any frame, plus 1 dB; over the whole input it must stay within 0.3 dB. Frames
// whose serial error lies below -60 dBFS are left out (tiny energies make large ratios). No test
// framework here, so that the benchmark can use it too.
#include "drivers/lame_output_formats.h"
#include "platform/wave_format.h"

#include <cstddef>
#include <vector>

namespace cantrix::test {

struct SeamJudgement {
    double wholeDb = 0;             // the segmented stream's coding error over the serial one's, whole input
    double worstExcessDb = -1e9;    // the largest excess of one of its frames' error over the serial one's
    std::size_t worstFrame = 0;     // where that is
    double ditheredExcessDb = -1e9; // the largest excess of a frame of a dithered serial encode
    std::size_t judgedFrames = 0;

    static constexpr double kAllowanceDb = 1.0;
    static constexpr double kWholeToleranceDb = 0.3;
    double MarginDb() const { return worstExcessDb - ditheredExcessDb - kAllowanceDb; }
    bool Passes() const
    {
        return MarginDb() <= 0 && wholeDb <= kWholeToleranceDb && wholeDb >= -kWholeToleranceDb;
    }
};

// The serial encode of one input and the dithered ones it is judged against, decoded once.
class SeamJudge {
public:
    // `pcm` is 16-bit PCM at the output's own rate and channels (`source` describes it); `serial`
    // is its serial encode to `output`.
    SeamJudge(const WAVEFORMATEX& source, const LameOutputFormat& output,
              const std::vector<unsigned char>& pcm, const std::vector<unsigned char>& serial);

    // Judges `candidate`, another encode of the same input to the same format.
    SeamJudgement Judge(const std::vector<unsigned char>& candidate) const;

    // Another serial encode of the input with ±1 LSB of dither from `seed` (the three judged
    // against use seeds 1 to 3): how a stream that differs only by the encoder's own variation
    // fares under the same judgement.
    std::vector<unsigned char> DitheredEncode(unsigned seed) const;

private:
    WAVEFORMATEX source;
    LameOutputFormat output;
    std::vector<unsigned char> pcm;
    std::vector<double> original;
    std::vector<double> serial;
    std::vector<std::vector<double>> dithered;
    std::size_t delay = 0;
};

} // namespace cantrix::test
