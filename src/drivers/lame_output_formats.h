#pragma once
// Every constant bit rate Layer-3 output the LAME driver can offer, known at compile time, so that
// the bounds the segmented encoder relies on can be checked against each of them.
#include "drivers/layer3_geometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace cantrix {

// One constant bit rate Layer-3 output.
struct LameOutputFormat {
    std::uint32_t sampleRate = 0;
    std::uint16_t channels = 0;
    std::uint16_t kbps = 0;

    bool operator==(const LameOutputFormat&) const = default;
};

namespace lame_outputs {

// The Layer-3 sampling rates, ascending: MPEG-2.5 (8000 to 12000), MPEG-2 (16000 to 24000) and
// MPEG-1 (32000 to 48000).
inline constexpr std::array<std::uint32_t, 9> kRates{8000,  11025, 12000, 16000, 22050,
                                                     24000, 32000, 44100, 48000};

// Every constant bit rate of the header's table (index 1 to 14); MPEG-2.5 uses the MPEG-2 ones up
// to 64 kbit/s.
inline constexpr std::uint16_t kMpeg25MaxKbps = 64;

constexpr bool Offered(std::uint32_t rate, std::uint32_t kbps)
{
    return rate >= layer3::kLowestMpeg2Rate || kbps <= kMpeg25MaxKbps;
}

constexpr std::span<const std::uint32_t> KbpsOf(std::uint32_t rate)
{
    return std::span(layer3::IsMpeg1(rate) ? layer3::kMpeg1KbpsByIndex : layer3::kMpeg2KbpsByIndex)
        .subspan(1, 14);
}

constexpr std::size_t Count()
{
    std::size_t count = 0;
    for (const std::uint32_t rate : kRates) {
        for (const std::uint32_t kbps : KbpsOf(rate))
            count += Offered(rate, kbps) ? 2 : 0;
    }
    return count;
}

// Each rate, in mono and stereo, at each of its bit rates.
constexpr std::array<LameOutputFormat, Count()> All()
{
    std::array<LameOutputFormat, Count()> all{};
    std::size_t next = 0;
    for (const std::uint32_t rate : kRates) {
        for (const std::uint16_t channels : {std::uint16_t{1}, std::uint16_t{2}}) {
            for (const std::uint32_t kbps : KbpsOf(rate)) {
                if (Offered(rate, kbps))
                    all[next++] = {rate, channels, static_cast<std::uint16_t>(kbps)};
            }
        }
    }
    return all;
}

} // namespace lame_outputs
} // namespace cantrix
