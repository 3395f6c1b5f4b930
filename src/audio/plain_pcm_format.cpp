#include "audio/plain_pcm_format.h"

#include <algorithm>
#include <cstring>

namespace cantrix {

namespace {
constexpr std::size_t kPcmFieldBytes = 16; // WAVEFORMATEX without cbSize
} // namespace

bool DescribePlainPcm(const unsigned char* bytes, std::size_t count, std::uint32_t chunkSize,
                      WAVEFORMATEX& pcm)
{
    std::memset(&pcm, 0, sizeof pcm);
    std::memcpy(&pcm, bytes, std::min(count, kPcmFieldBytes));
    if (pcm.wFormatTag == kWaveFormatPcm)
        return true;
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
    if (extensible.wValidBitsPerSample > pcm.wBitsPerSample || extensible.SubFormat != kSubFormatPcm)
        return false;
    pcm.wFormatTag = kWaveFormatPcm;
    return true;
}

} // namespace cantrix
