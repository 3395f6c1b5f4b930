// The RIFF/WAVE container of a Layer-3 output: "fmt " (the 32-byte format block), "fact" (the
// length in sample frames) and "data" (the codec's output). The file layer fixes every size when a
// chunk is left, so the writer never computes one.
#include "engine/converter_engine.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace cantrix {

std::uint32_t ConverterEngine::FactSamples(std::uint32_t pcmBytes, const FormatEntry& destination) const
{
    if (inputFormat.nBlockAlign == 0 || inputFormat.nSamplesPerSec == 0)
        return 0;
    // Readers divide "fact" by the rate of the format record, which may be a half or a quarter of
    // the input's.
    const std::uint64_t frames = pcmBytes / inputFormat.nBlockAlign;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(frames * destination.SamplesPerSec() / inputFormat.nSamplesPerSec,
                                std::numeric_limits<std::uint32_t>::max()));
}

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

    // Provisional: the whole input, in case the run ends without closing the container.
    factChunk = MMCKINFO{};
    factChunk.ckid = kFourCCFact;
    output.CreateChunk(factChunk, CreateFlag::Plain);
    const std::uint32_t samples = FactSamples(dataSize, destination);
    output.Write(&samples, sizeof samples);
    output.Ascend(factChunk);

    subChunk = MMCKINFO{};
    subChunk.ckid = kFourCCData;
    lastResult = output.CreateChunk(subChunk, CreateFlag::Plain);
}

MmResult ConverterEngine::CloseContainer(RiffFile& output, const FormatEntry& destination,
                                         std::uint32_t pcmBytes)
{
    const MmResult dataResult = output.Ascend(subChunk);
    // A cancelled run, or an input shorter than its "data" chunk claims, read less than the head
    // announced. Nor need all that was read be in the data: a cancelled run never collects what
    // the codec still holds, tens of seconds with parallel encoding. At a constant bit rate the
    // data lasts its size over the byte rate.
    std::uint64_t held = std::numeric_limits<std::uint32_t>::max();
    if (destination.AvgBytesPerSec() != 0)
        held = std::uint64_t{subChunk.cksize} * destination.SamplesPerSec() / destination.AvgBytesPerSec();
    const auto samples =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(FactSamples(pcmBytes, destination), held));

    const long end = output.Seek(0, SEEK_CUR);
    const long fact = static_cast<long>(factChunk.dwDataOffset);
    const bool factWritten = end >= 0 && output.Seek(fact, SEEK_SET) == fact &&
                             output.Write(&samples, sizeof samples) == sizeof samples &&
                             output.Seek(end, SEEK_SET) == end;
    // Without the file's end as its position the RIFF size would come out wrong.
    const MmResult riffResult = factWritten ? output.Ascend(riffChunk) : mmresult::kCannotWrite;
    lastResult = dataResult != mmresult::kNoError ? dataResult : riffResult;
    return lastResult;
}

} // namespace cantrix
