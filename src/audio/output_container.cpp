// The RIFF/WAVE container of a Layer-3 output: "fmt " (the 32-byte format block), "fact" (the
// input's PCM byte count) and "data" (the codec's output). The file layer fixes every size when a
// chunk is left, so the writer never computes one.
#include "engine/converter_engine.h"

namespace cantrix {

void ConverterEngine::WriteContainerHead(RiffFile& output, const FormatEntry& destination)
{
    riffChunk = MMCKINFO{};
    riffChunk.fccType = kFourCCWave;
    output.CreateChunk(riffChunk, CreateFlag::CreateRiff);

    subChunk = MMCKINFO{};
    subChunk.ckid = kFourCCFmt;
    subChunk.cksize = kFormatBlockBytes;
    output.CreateChunk(subChunk, CreateFlag::Plain);
    output.Write(destination.format.data(), kFormatBlockBytes);
    output.Ascend(subChunk);

    subChunk = MMCKINFO{};
    subChunk.ckid = kFourCCFact;
    output.CreateChunk(subChunk, CreateFlag::Plain);
    output.Write(&dataSize, sizeof dataSize);
    output.Ascend(subChunk);

    subChunk = MMCKINFO{};
    subChunk.ckid = kFourCCData;
    lastResult = output.CreateChunk(subChunk, CreateFlag::Plain);
}

MmResult ConverterEngine::CloseContainer(RiffFile& output)
{
    const MmResult dataResult = output.Ascend(subChunk);
    const MmResult riffResult = output.Ascend(riffChunk);
    lastResult = dataResult != mmresult::kNoError ? dataResult : riffResult;
    return lastResult;
}

} // namespace cantrix
