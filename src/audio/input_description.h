#pragma once
// What input analysis finds out about a WAV file: the PCM format of its samples and where they are.
#include "platform/wave_format.h"

#include <cstdint>

namespace cantrix {

struct InputDescription {
    // The 18-byte record of tag 1 (integer PCM) or tag 3 (IEEE float), cbSize 0, also for files
    // that describe their samples with WAVE_FORMAT_EXTENSIBLE.
    WAVEFORMATEX format{};
    // Offset of the first PCM byte and the byte length the "data" chunk claims.
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    // What the file holds of that claim when it was analysed: less for a file cut short.
    std::uint64_t heldBytes = 0;
    // The header states no length: a writer that could not seek back left a placeholder in the
    // size (0xFFFFFFFF, 0x7FFFF000), or a recording that was never finished left 0. The data is
    // taken to run to the end of the file, so dataSize is what the file held.
    bool lengthUnknown = false;
};

} // namespace cantrix
