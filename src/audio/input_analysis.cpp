#include "audio/input_analysis.h"

#include "audio/plain_pcm_format.h"
#include "platform/string_table.h"

#include <algorithm>
#include <cstdio>

namespace cantrix {

namespace {
InputAnalysis Refused(std::uint32_t message)
{
    return InputAnalysis{std::nullopt, message};
}
} // namespace

InputAnalysis AnalyzeWave(RiffFile& file)
{
    MMCKINFO riff{};
    riff.fccType = kFourCCWave;
    if (file.Descend(riff, nullptr, DescendFlag::FindRiff) != mmresult::kNoError)
        return Refused(strings::kInputCorrupted);
    MMCKINFO format{};
    format.ckid = kFourCCFmt;
    if (file.Descend(format, &riff, DescendFlag::FindChunk) != mmresult::kNoError)
        return Refused(strings::kInputCorrupted);

    // Only the start of the chunk counts, whatever its size; a short chunk leaves zeros.
    InputDescription input;
    unsigned char record[kFormatBytesToRead];
    const long wanted = std::min<long>(sizeof record, format.cksize);
    const long got = std::max(file.Read(record, wanted), 0L);
    if (!DescribePlainPcm(record, static_cast<std::size_t>(got), format.cksize, input.format))
        return Refused(strings::kInputNotPcm);

    if (file.Ascend(format) != mmresult::kNoError)
        return Refused(strings::kInputCorrupted);
    MMCKINFO data{};
    data.ckid = kFourCCData;
    if (file.Descend(data, &riff, DescendFlag::FindChunk) != mmresult::kNoError)
        return Refused(strings::kInputCorrupted);
    input.dataOffset = data.dwDataOffset;
    input.dataSize = data.cksize;

    const long end = file.Seek(0, SEEK_END);
    const long start = static_cast<long>(input.dataOffset);
    if (end < 0 || file.Seek(start, SEEK_SET) != start)
        return Refused(strings::kInputCorrupted);
    input.heldBytes = std::min<std::uint64_t>(input.dataSize, static_cast<std::uint64_t>(end - start));
    return InputAnalysis{input, 0};
}

} // namespace cantrix
