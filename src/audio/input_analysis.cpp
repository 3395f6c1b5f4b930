// Input analysis: is the file a PCM RIFF/WAVE file, and where are its samples?
#include "audio/plain_pcm_format.h"
#include "engine/converter_engine.h"
#include "platform/string_table.h"

#include <algorithm>
#include <cstdio>

namespace cantrix {

bool ConverterEngine::AnalyzeInput(const std::string& path, bool probeOnly)
{
    auto fail = [&](std::uint32_t id) { return FailWithMessage(probeOnly ? 0 : id); };

    if (progressCtrl != nullptr)
        progressCtrl->SetPos(0);
    cancelEvent.Reset();

    CloseInputFile();
    lastResult = inputFile.Open(path, OpenMode::Read);
    if (lastResult != mmresult::kNoError)
        return fail(strings::kInputCannotOpen);

    subChunk = MMCKINFO{};
    riffChunk = MMCKINFO{};
    subChunk.ckid = kFourCCFmt;
    riffChunk.fccType = kFourCCWave;
    lastResult = inputFile.Descend(riffChunk, nullptr, DescendFlag::FindRiff);
    if (lastResult != mmresult::kNoError)
        return fail(strings::kInputCorrupted);
    lastResult = inputFile.Descend(subChunk, &riffChunk, DescendFlag::FindChunk);
    if (lastResult != mmresult::kNoError)
        return fail(strings::kInputCorrupted);

    // Only the start of the chunk counts, whatever its size; a short chunk leaves zeros.
    unsigned char format[kFormatBytesToRead];
    const long formatBytes = std::min<long>(sizeof format, subChunk.cksize);
    const long got = std::max(inputFile.Read(format, formatBytes), 0L);
    if (!DescribePlainPcm(format, static_cast<std::size_t>(got), subChunk.cksize, inputFormat))
        return fail(strings::kInputNotPcm);

    lastResult = inputFile.Ascend(subChunk);
    if (lastResult != mmresult::kNoError)
        return fail(strings::kInputCorrupted);
    subChunk.ckid = kFourCCData;
    lastResult = inputFile.Descend(subChunk, &riffChunk, DescendFlag::FindChunk);
    if (lastResult != mmresult::kNoError)
        return fail(strings::kInputCorrupted);
    dataSize = subChunk.cksize;

    if (probeOnly)
        return true;

    RebuildFormatCatalogue();
    inputPath = path;
    dataOffset = static_cast<std::uint32_t>(inputFile.Seek(0, SEEK_CUR));
    CloseInputFile();
    return true;
}

} // namespace cantrix
