#pragma once
// One chunk written whole at the file's position: header, data, size fixed, pad byte.
#include "platform/riff_file.h"

namespace cantrix {

// Writes a chunk `id` of `size` bytes of `data` and leaves it; `chunk` then describes it.
[[nodiscard]] MmResult WriteWholeChunk(RiffFile& file, FourCC id, const void* data, long size,
                                       MMCKINFO& chunk);

} // namespace cantrix
