#pragma once
// What the frames of a constant bit rate Layer-3 stream look like, from its format alone: how many
// samples a frame holds, how long its slot is, how much of the slot its main data may use, how far
// a frame's main data may begin before its slot, and which frames carry the padding byte. The
// frame index reads streams with these rules, and the segmented encoder derives its bounds from them.
#include <array>
#include <cstdint>
#include <numeric>

namespace cantrix::layer3 {

constexpr std::uint32_t kHeaderBytes = 4;
constexpr std::uint32_t kCrcBytes = 2;
constexpr std::uint32_t kLowestMpeg1Rate = 32000;
constexpr std::uint32_t kLowestMpeg2Rate = 16000;

constexpr bool IsMpeg1(std::uint32_t rate)
{
    return rate >= kLowestMpeg1Rate;
}

// The header's tables: the sampling rates of MPEG-1 by index (MPEG-2 halves them, MPEG-2.5 quarters
// them) and the bit rates in kbit/s by index (0 is free format, 15 is not allowed).
constexpr std::array<std::uint32_t, 3> kMpeg1RatesByIndex{44100, 48000, 32000};
constexpr std::array<std::uint32_t, 15> kMpeg1KbpsByIndex{0,   32,  40,  48,  56,  64,  80, 96,
                                                          112, 128, 160, 192, 224, 256, 320};
constexpr std::array<std::uint32_t, 15> kMpeg2KbpsByIndex{0,  8,  16, 24,  32,  40,  48, 56,
                                                          64, 80, 96, 112, 128, 144, 160};
// The version field: MPEG-1, MPEG-2 and MPEG-2.5.
constexpr std::uint32_t kVersionMpeg1 = 3;
constexpr std::uint32_t kVersionMpeg2 = 2;
constexpr std::uint32_t kVersionMpeg25 = 0;
constexpr std::uint32_t kModeMono = 3;
constexpr std::uint32_t kModeJointStereo = 1;

// 1152 samples a frame in MPEG-1, 576 in MPEG-2 and 2.5.
constexpr std::uint32_t FrameSamples(std::uint32_t rate)
{
    return IsMpeg1(rate) ? 1152 : 576;
}

// Header to next header: FrameSamples / 8 bytes per bit per second, plus the padding byte.
constexpr std::uint32_t SlotBytes(std::uint32_t rate, std::uint32_t kbps, bool padded)
{
    return FrameSamples(rate) / 8 * kbps * 1000 / rate + (padded ? 1 : 0);
}

constexpr std::uint32_t SideInfoBytes(bool mpeg1, int channels)
{
    return mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
}

// main_data_begin has 9 bits in MPEG-1 and 8 in MPEG-2 and 2.5.
constexpr std::uint32_t MaxMainDataBegin(std::uint32_t rate)
{
    return IsMpeg1(rate) ? 511 : 255;
}

// The main data bytes of the smallest slot of a stream without CRC, which is what the encoder
// writes.
constexpr std::uint32_t MinMainBytes(std::uint32_t rate, int channels, std::uint32_t kbps)
{
    return SlotBytes(rate, kbps, false) - kHeaderBytes - SideInfoBytes(IsMpeg1(rate), channels);
}

// The bytes a frame's slot would hold beyond a whole number: slots are padded so that on average
// they hold exactly the bit rate. The padding byte goes to frame n when the padded frames up to n
// must reach ceil(n * remainder / rate) (none in frame 0), the rule of the encoder we use.
constexpr std::uint64_t PaddingRemainder(std::uint32_t rate, std::uint32_t kbps)
{
    return std::uint64_t{FrameSamples(rate)} / 8 * kbps * 1000 % rate;
}

constexpr bool Padded(std::uint32_t rate, std::uint32_t kbps, std::uint64_t frame)
{
    const std::uint64_t remainder = PaddingRemainder(rate, kbps);
    auto through = [&](std::uint64_t n) { return (n * remainder + rate - 1) / rate; };
    return frame != 0 && through(frame) != through(frame - 1);
}

// The frames after which the padding pattern repeats.
constexpr std::uint64_t PaddingCycle(std::uint32_t rate, std::uint32_t kbps)
{
    const std::uint64_t remainder = PaddingRemainder(rate, kbps);
    return remainder == 0 ? 1 : rate / std::gcd(remainder, std::uint64_t{rate});
}

// The header fields a stream's format sets, with the padding bit of `frame`: sync, version, layer,
// bit rate, sampling rate, padding and, for mono, the mode. kFormatFields masks them (the mode only
// for mono); the rest (CRC, private, stereo mode and its extension, copyright, original, emphasis)
// is the encoder's choice.
constexpr std::uint32_t kSyncAndLayerBits = 0xFFE00000 | 1u << 17;
constexpr std::uint32_t kModeBits = 3u << 6;
constexpr std::uint32_t kModeExtensionBits = 3u << 4;

constexpr std::uint32_t FormatFieldsMask(int channels)
{
    return 0xFFFE0000 | 0xFu << 12 | 3u << 10 | 1u << 9 | (channels == 1 ? kModeBits : 0);
}

constexpr std::uint32_t FormatFields(std::uint32_t rate, int channels, std::uint32_t kbps,
                                     std::uint64_t frame)
{
    const bool mpeg1 = IsMpeg1(rate);
    const std::uint32_t version = mpeg1                      ? kVersionMpeg1
                                  : rate >= kLowestMpeg2Rate ? kVersionMpeg2
                                                             : kVersionMpeg25;
    const int shift = mpeg1 ? 0 : version == kVersionMpeg2 ? 1 : 2;
    std::uint32_t rateIndex = 0;
    while (rateIndex < 2 && kMpeg1RatesByIndex[rateIndex] >> shift != rate)
        ++rateIndex;
    const auto& kbpsTable = mpeg1 ? kMpeg1KbpsByIndex : kMpeg2KbpsByIndex;
    std::uint32_t kbpsIndex = 1;
    while (kbpsIndex < 14 && kbpsTable[kbpsIndex] != kbps)
        ++kbpsIndex;
    return kSyncAndLayerBits | version << 19 | kbpsIndex << 12 | rateIndex << 10 |
           (Padded(rate, kbps, frame) ? 1u << 9 : 0) | (channels == 1 ? kModeMono << 6 : 0);
}

} // namespace cantrix::layer3
