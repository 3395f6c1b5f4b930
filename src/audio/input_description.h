#pragma once
// What input analysis finds out about a WAV file: the PCM format of its samples and where they are.
#include "platform/wave_format.h"

#include <cstdint>

namespace cantrix {

struct InputDescription {
    // The 18-byte PCM record of tag 1 (cbSize 0), also for files that describe their samples
    // with WAVE_FORMAT_EXTENSIBLE.
    WAVEFORMATEX format{};
    // Offset of the first PCM byte and the byte length the "data" chunk claims.
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    // What the file holds of that claim when it was analysed: less for a file cut short, or
    // written by a tool that put a placeholder into the size.
    std::uint64_t heldBytes = 0;
};

} // namespace cantrix
