#include "audio/plain_pcm_format.h"

#include <algorithm>
#include <cstring>

namespace cantrix {

namespace {
constexpr std::size_t kPcmFieldBytes = 16; // WAVEFORMATEX without cbSize

// Float samples come as the single and double precision numbers of IEEE 754.
bool IsFloatWidth(std::uint16_t bits)
{
    return bits == 32 || bits == 64;
}
} // namespace

bool DescribePlainPcm(const unsigned char* bytes, std::size_t count, std::uint64_t chunkSize,
                      WAVEFORMATEX& pcm)
{
    std::memset(&pcm, 0, sizeof pcm);
    std::memcpy(&pcm, bytes, std::min(count, kPcmFieldBytes));
    if (pcm.wFormatTag == kWaveFormatPcm)
        return true;
    if (pcm.wFormatTag == kWaveFormatIeeeFloat)
        return IsFloatWidth(pcm.wBitsPerSample);
    if (pcm.wFormatTag != kWaveFormatExtensible || count < sizeof(WAVEFORMATEXTENSIBLE))
        return false;

    WAVEFORMATEXTENSIBLE extensible;
    std::memcpy(&extensible, bytes, sizeof extensible);
    // A chunk too short for the extension it announces is damaged, whatever it seems to hold.
    const std::uint16_t announced = extensible.Format.cbSize;
    if (announced < kWaveFormatExtensibleCbSize || chunkSize < sizeof(WAVEFORMATEX) + announced)
        return false;
    // Fewer valid bits than the container's are fine: the samples are left-justified, so they
    // read as samples of the container's width.
    if (extensible.wValidBitsPerSample > pcm.wBitsPerSample)
        return false;
    if (extensible.SubFormat == kSubFormatPcm) {
        pcm.wFormatTag = kWaveFormatPcm;
        return true;
    }
    if (extensible.SubFormat == kSubFormatIeeeFloat && IsFloatWidth(pcm.wBitsPerSample)) {
        pcm.wFormatTag = kWaveFormatIeeeFloat;
        return true;
    }
    return false;
}

} // namespace cantrix
