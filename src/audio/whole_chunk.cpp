#include "audio/whole_chunk.h"

namespace cantrix {

MmResult WriteWholeChunk(RiffFile& file, FourCC id, const void* data, long size, MMCKINFO& chunk)
{
    chunk = MMCKINFO{};
    chunk.ckid = id;
    if (const MmResult created = file.CreateChunk(chunk, CreateFlag::Plain); created != mmresult::kNoError)
        return created;
    if (file.Write(data, size) != size)
        return mmresult::kCannotWrite;
    return file.Ascend(chunk);
}

} // namespace cantrix
