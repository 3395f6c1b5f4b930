#include "audio/clip_counter.h"

#include <cmath>
#include <cstring>

namespace cantrix {

namespace {
template <typename Sample> bool BeyondFullScale(const unsigned char* bytes)
{
    Sample value;
    std::memcpy(&value, bytes, sizeof value);
    // NaN compares false, so it counts too: it has no level the codec could keep.
    return !(std::fabs(value) <= 1.0);
}
} // namespace

ClipCounter::ClipCounter(const WAVEFORMATEX& format)
{
    if (format.wFormatTag == kWaveFormatIeeeFloat &&
        (format.wBitsPerSample == 8 * sizeof(float) || format.wBitsPerSample == 8 * sizeof(double)))
        sampleBytes = format.wBitsPerSample / 8;
}

void ClipCounter::Count(const unsigned char* bytes, std::size_t count)
{
    if (sampleBytes == 0)
        return;
    for (std::size_t at = 0; at + sampleBytes <= count; at += sampleBytes)
        clipped += sampleBytes == sizeof(float) ? BeyondFullScale<float>(bytes + at)
                                                : BeyondFullScale<double>(bytes + at);
}

} // namespace cantrix
