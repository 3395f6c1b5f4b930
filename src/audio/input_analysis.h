#pragma once
// Input analysis: is a file a PCM RIFF/WAVE file, and where are its samples?
#include "audio/input_description.h"
#include "platform/riff_file.h"

#include <cstdint>
#include <optional>

namespace cantrix {

struct InputAnalysis {
    std::optional<InputDescription> input;
    // Without an input: the string-table message that says why.
    std::uint32_t message = 0;
};

// Reads `file`, opened for reading and standing at its start. On success the file stands on the
// first PCM byte.
[[nodiscard]] InputAnalysis AnalyzeWave(RiffFile& file);

} // namespace cantrix
