#pragma once
// The wave form that opens a WAV file, in whichever layout it comes: RIFF, RF64 and BW64 (whose
// 64-bit sizes stand in "ds64") or Wave64. The input analysis and the tag reader walk its chunks.
#include "platform/riff_file.h"

#include <vector>

namespace cantrix {

struct WaveForm {
    WideChunk chunk;
    ChunkLayout layout = ChunkLayout::Riff;
    std::vector<WideSize> sizes;
    // Its size was never written; it runs to the end of the file.
    bool unfinished = false;
};

// Finds the wave form at the start of `file` and leaves the file on its first chunk (after
// "ds64"). False when the file starts with none.
[[nodiscard]] bool FindWaveForm(RiffFile& file, WaveForm& form);

} // namespace cantrix
