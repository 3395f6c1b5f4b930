#pragma once
// The tags an output carries over from its input (title, artist and the rest), as plain values:
// the input analysis fills them, the terminal may override them, the output writers write them.
#include "platform/riff_file.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cantrix {

// The chunks that carry tags in a RIFF/WAVE file: the "INFO" list and the "id3 " chunk.
inline constexpr FourCC kFourCCInfo = MakeFourCC('I', 'N', 'F', 'O');
inline constexpr FourCC kFourCCId3 = MakeFourCC('i', 'd', '3', ' ');

// The fields every tag format names; each index also picks its INFO id and its ID3 property.
enum class TagField { Title, Artist, Album, Date, Track, Genre, Comment };
inline constexpr std::size_t kTagFieldCount = 7;

struct AudioTags {
    // UTF-8 text; empty where the field is absent.
    std::array<std::string, kTagFieldCount> fields;
    // The input's other INFO text fields, by id, in the order they came.
    std::vector<std::pair<FourCC, std::string>> otherInfo;
    // The whole ID3v2 tag of the input's "id3 " chunk, so that its frames (pictures included)
    // are carried as they are; empty without one.
    std::vector<unsigned char> id3;

    std::string& operator[](TagField field) { return fields[static_cast<std::size_t>(field)]; }
    const std::string& operator[](TagField field) const { return fields[static_cast<std::size_t>(field)]; }
    bool Empty() const;
};

// What the user sets over the input's tags.
struct TagOverrides {
    // A value replaces the input's (an empty one removes it); none keeps it.
    std::array<std::optional<std::string>, kTagFieldCount> fields;
    bool dropAll = false; // the output carries no tags at all
};

// The tags of an output from `input` and what the user set.
AudioTags WithOverrides(AudioTags input, const TagOverrides& overrides);

// Tag text of unknown encoding as UTF-8: valid UTF-8 stays, anything else is read as Latin-1.
// The text ends at its first NUL, which drops the padding that writers put after it.
std::string DecodeTagText(const unsigned char* text, std::size_t size);

// The INFO id of each field (the track as "IPRT", which more readers know than "ITRK").
FourCC InfoIdOf(TagField field);

} // namespace cantrix
