#pragma once
// Counts the float samples of an input that lie beyond full scale (±1.0, or NaN), which the codec
// clips, so that a front end can say how many were clipped. Integer samples cannot lie beyond it.
#include "platform/wave_format.h"

#include <cstddef>
#include <cstdint>

namespace cantrix {

class ClipCounter {
public:
    // Counts nothing.
    ClipCounter() = default;
    explicit ClipCounter(const WAVEFORMATEX& format);

    // `bytes` go on from those counted so far and start on a sample; a sample cut off at their
    // end is not counted.
    void Count(const unsigned char* bytes, std::size_t count);
    std::uint64_t Clipped() const { return clipped; }

private:
    std::uint16_t sampleBytes = 0; // 0: integer samples
    std::uint64_t clipped = 0;
};

} // namespace cantrix
