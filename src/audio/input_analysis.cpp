// Input analysis: is the file a PCM RIFF/WAVE file, and where are its samples?
#include "engine/converter_engine.h"
#include "platform/string_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cantrix {

namespace {
constexpr long kPcmFormatBytes = 16; // WAVEFORMATEX without cbSize
} // namespace

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

    // Only the first 16 bytes count, whatever the chunk's size; a short chunk leaves zeros.
    std::memset(&inputFormat, 0, kPcmFormatBytes);
    inputFormat.cbSize = 0;
    const long formatBytes = std::min<long>(kPcmFormatBytes, subChunk.cksize);
    const long got = inputFile.Read(&inputFormat, formatBytes);
    if (got < formatBytes)
        std::memset(reinterpret_cast<unsigned char*>(&inputFormat) + std::max(got, 0L), 0,
                    static_cast<std::size_t>(kPcmFormatBytes - std::max(got, 0L)));
    if (inputFormat.wFormatTag != kWaveFormatPcm)
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
