#pragma once
// Reads the tags of a RIFF/WAVE input: its "LIST"/"INFO" chunk, an "id3 " (or "ID3 ") chunk, and
// the description and origination date of a "bext" chunk where the others lack them.
#include "audio/audio_tags.h"
#include "platform/riff_file.h"

#include <string>

namespace cantrix {

struct InputTags {
    AudioTags tags;
    // Empty, or one line that says which chunks were broken or too large and left out.
    std::string warning;
};

// Walks the chunks of `file`, a RIFF/WAVE file opened for reading. A chunk that claims more than
// its parent holds, or more than the program keeps, is left out; its siblings still count. The
// file's position afterwards is anywhere.
[[nodiscard]] InputTags ReadInputTags(RiffFile& file);

} // namespace cantrix
