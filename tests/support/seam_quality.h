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
    double wholeDb = 0;            // the segmented stream's coding error over the serial one's, whole input
    double worstExcessDb = -1e9;   // the largest excess of one of its frames' error over the serial one's
    std::size_t worstFrame = 0;    // where that is
    double ditheredExcessDb = -1e9; // the largest excess of a frame of a dithered serial encode
    std::size_t judgedFrames = 0;

    static constexpr double kAllowanceDb = 1.0;
    static constexpr double kWholeToleranceDb = 0.3;
    double MarginDb() const { return worstExcessDb - ditheredExcessDb - kAllowanceDb; }
    bool Passes() const { return MarginDb() <= 0 && wholeDb <= kWholeToleranceDb && wholeDb >= -kWholeToleranceDb; }
};

// `pcm` is 16-bit PCM at the output's own rate and channels (`source` describes it); `serial` and
// `segmented` are its encodes to `output`.
SeamJudgement JudgeSeams(const WAVEFORMATEX& source, const LameOutputFormat& output,
                         const std::vector<unsigned char>& pcm, const std::vector<unsigned char>& serial,
                         const std::vector<unsigned char>& segmented);

} // namespace cantrix::test
