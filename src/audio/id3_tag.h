#pragma once
// ID3v2 tags, read from an input's "id3 " chunk and rendered for an output, through TagLib. The
// only part of the program that sees TagLib.
#include "audio/audio_tags.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace cantrix {

// The fields of the ID3v2 tag in `tag`; none when the bytes do not hold a whole ID3v2 tag.
std::optional<std::array<std::string, kTagFieldCount>> ReadId3Fields(const std::vector<unsigned char>& tag);

// The ID3v2.3 tag that carries `tags`: the frames of their "id3 " chunk with the fields (and the
// other INFO text) set over them. Empty when there is nothing to carry.
std::vector<unsigned char> RenderId3v2Tag(const AudioTags& tags);

} // namespace cantrix
