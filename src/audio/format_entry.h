#pragma once
#include "platform/codec_driver.h"
#include "platform/wave_format.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace cantrix {

constexpr std::size_t kFormatBlockBytes = 32;

// One Layer-3 format offered for the current input: the first 32 bytes of the codec's format
// record (passed on unchanged to the codec and into RIFF outputs) and its description.
struct FormatEntry {
    std::array<unsigned char, kFormatBlockBytes> format{};
    char name[kFormatDescriptionChars] = {};

    std::uint16_t Channels() const
    {
        std::uint16_t value;
        std::memcpy(&value, format.data() + 2, sizeof value);
        return value;
    }
    std::uint32_t SamplesPerSec() const
    {
        std::uint32_t value;
        std::memcpy(&value, format.data() + 4, sizeof value);
        return value;
    }
    std::uint32_t AvgBytesPerSec() const
    {
        std::uint32_t value;
        std::memcpy(&value, format.data() + 8, sizeof value);
        return value;
    }
};

} // namespace cantrix
