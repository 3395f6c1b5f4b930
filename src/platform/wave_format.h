#pragma once
// The published wave format records. They reach files byte for byte, so they keep their published
// field names and packed little-endian layout.
#include <array>
#include <bit>
#include <cstdint>

namespace cantrix {

static_assert(std::endian::native == std::endian::little,
              "The wave format records are stored in host order and must be little-endian");

constexpr std::uint16_t kWaveFormatPcm = 0x0001;
constexpr std::uint16_t kWaveFormatIeeeFloat = 0x0003;
constexpr std::uint16_t kWaveFormatMpegLayer3 = 0x0055;
constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};

struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    std::uint16_t wID;
    std::uint32_t fdwFlags;
    std::uint16_t nBlockSize;
    std::uint16_t nFramesPerBlock;
    std::uint16_t nCodecDelay;
};

// The extension that wider samples, more channels and other encodings come in. The published
// union `Samples` is read as wValidBitsPerSample, its meaning for PCM; the GUID keeps its stored
// bytes (the first three fields little-endian).
struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    std::uint16_t wValidBitsPerSample;
    std::uint32_t dwChannelMask;
    std::array<unsigned char, 16> SubFormat;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

constexpr std::uint16_t kWaveFormatExtensibleCbSize = 22;
// The PCM sub-format, 00000001-0000-0010-8000-00aa00389b71, as it is stored.
constexpr std::array<unsigned char, 16> kSubFormatPcm = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// The IEEE float sub-format, 00000003-0000-0010-8000-00aa00389b71.
constexpr std::array<unsigned char, 16> kSubFormatIeeeFloat = {
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr std::uint16_t kMpegLayer3CbSize = 12;
constexpr std::uint16_t kMpegLayer3IdMpeg = 1;
constexpr std::uint32_t kMpegLayer3FlagPaddingIso = 0;

} // namespace cantrix
