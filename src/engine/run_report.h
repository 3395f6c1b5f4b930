#pragma once
// What a conversion run reports when it has ended.
#include <cstdint>

namespace cantrix {

// How a conversion run ended, for front ends that report per file.
enum class RunOutcome { None, Finished, Cancelled, Failed };

struct RunReport {
    RunOutcome outcome = RunOutcome::None;
    // The string-table message of a failed run, or 0.
    std::uint32_t message = 0;
    // The PCM bytes the run read from the input.
    std::uint64_t pcmBytes = 0;
    // The float samples beyond full scale among them, which the codec clipped.
    std::uint64_t clippedSamples = 0;
    // The system's error number behind a failure to open or write the output, or 0.
    int systemError = 0;
};

} // namespace cantrix
