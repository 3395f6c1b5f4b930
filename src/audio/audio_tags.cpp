#include "audio/audio_tags.h"

#include <algorithm>
#include <cstring>

namespace cantrix {

namespace {
constexpr std::array<FourCC, kTagFieldCount> kInfoIds{
    MakeFourCC('I', 'N', 'A', 'M'), MakeFourCC('I', 'A', 'R', 'T'), MakeFourCC('I', 'P', 'R', 'D'),
    MakeFourCC('I', 'C', 'R', 'D'), MakeFourCC('I', 'P', 'R', 'T'), MakeFourCC('I', 'G', 'N', 'R'),
    MakeFourCC('I', 'C', 'M', 'T'),
};

// The length of the UTF-8 sequence at `text`, or 0 where it is not one: overlong forms,
// surrogates and code points past U+10FFFF included.
std::size_t Utf8SequenceLength(const unsigned char* text, std::size_t size)
{
    const unsigned char lead = text[0];
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (size < length || text[1] < low || text[1] > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (text[i] < 0x80 || text[i] > 0xBF)
            return 0;
    }
    return length;
}

bool IsUtf8(const unsigned char* text, std::size_t size)
{
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = Utf8SequenceLength(text + at, size - at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}
} // namespace

bool AudioTags::Empty() const
{
    return std::all_of(fields.begin(), fields.end(),
                       [](const std::string& field) { return field.empty(); }) &&
           otherInfo.empty() && id3.empty();
}

AudioTags WithOverrides(AudioTags input, const TagOverrides& overrides)
{
    if (overrides.dropAll)
        return AudioTags{};
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        if (overrides.fields[i])
            input.fields[i] = *overrides.fields[i];
    }
    return input;
}

std::string DecodeTagText(const unsigned char* text, std::size_t size)
{
    if (size == 0)
        return {};
    if (const void* end = std::memchr(text, 0, size); end != nullptr)
        size = static_cast<std::size_t>(static_cast<const unsigned char*>(end) - text);
    if (IsUtf8(text, size))
        return std::string(reinterpret_cast<const char*>(text), size);
    std::string decoded;
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] < 0x80) {
            decoded += static_cast<char>(text[i]);
        } else {
            decoded += static_cast<char>(0xC0 | (text[i] >> 6));
            decoded += static_cast<char>(0x80 | (text[i] & 0x3F));
        }
    }
    return decoded;
}

FourCC InfoIdOf(TagField field)
{
    return kInfoIds[static_cast<std::size_t>(field)];
}

} // namespace cantrix
