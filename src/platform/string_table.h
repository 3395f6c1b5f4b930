#pragma once
// The program's string table (res/strings.txt): every message the program shows, by id.
#include <cstddef>
#include <cstdint>
#include <string>

namespace cantrix {

struct StringTableEntry {
    std::uint32_t id;
    const char* text;
};

namespace strings {
constexpr std::uint32_t kAboutMenuEntry = 101;
constexpr std::uint32_t kInputCorrupted = 102;
constexpr std::uint32_t kInputNotPcm = 103;
constexpr std::uint32_t kInputCannotOpen = 104;
constexpr std::uint32_t kOutputCannotOpen = 105;
constexpr std::uint32_t kOutputIncomplete = 106;
constexpr std::uint32_t kFormatNotMatched = 107;
constexpr std::uint32_t kRateNotSupported = 108;
constexpr std::uint32_t kCodecMissing = 109;
constexpr std::uint32_t kNoConversionDir = 110;
constexpr std::uint32_t kPlatformTooOld = 111;
constexpr std::uint32_t kOutputIsInput = 112;
constexpr std::uint32_t kInputReadFailed = 113;
constexpr std::uint32_t kCodecFailed = 114;
constexpr std::uint32_t kInputHoldsNoAudio = 115;
// "The selected .WAV file has N channels": one message for each count from 3 to 8, then one for
// any count above.
constexpr std::uint32_t kInputChannelsFirst = 116;
constexpr std::uint16_t kInputChannelsFirstCount = 3;
constexpr std::uint32_t kInputChannelsMany = 122;
} // namespace strings

// The text of string `id`, or an empty string for an id the table does not hold.
std::string LoadString(std::uint32_t id);

} // namespace cantrix
