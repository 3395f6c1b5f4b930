#pragma once
// The tags of a RIFF/WAVE output, as chunks after its "data" chunk so that the head keeps its
// layout: "LIST"/"INFO" for the readers of RIFF tags, then "id3 " with the tag a raw output
// carries, for the readers of ID3 (and the frames INFO cannot hold, pictures among them).
#include "audio/audio_tags.h"
#include "platform/riff_file.h"

namespace cantrix {

// Writes the chunks at the file's position, inside the chunk being written; nothing for no tags.
[[nodiscard]] MmResult WriteTagChunks(RiffFile& file, const AudioTags& tags);

} // namespace cantrix
