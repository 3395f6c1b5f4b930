#include "audio/riff_layer3_writer.h"

#include "audio/riff_tag_chunks.h"
#include "audio/whole_chunk.h"

#include <algorithm>
#include <limits>

namespace cantrix {

std::uint32_t RiffLayer3Writer::FactSamples(std::uint64_t pcmBytes) const
{
    if (input.format.nBlockAlign == 0 || input.format.nSamplesPerSec == 0)
        return 0;
    // Readers divide "fact" by the rate of the format record, which may be a half or a quarter of
    // the input's.
    const std::uint64_t frames = pcmBytes / input.format.nBlockAlign;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(frames * destination.SamplesPerSec() / input.format.nSamplesPerSec,
                                std::numeric_limits<std::uint32_t>::max()));
}

MmResult RiffLayer3Writer::WriteHead()
{
    riffChunk = MMCKINFO{};
    riffChunk.fccType = kFourCCWave;
    MmResult result = file.CreateChunk(riffChunk, CreateFlag::CreateRiff);
    MMCKINFO formatChunk;
    if (result == mmresult::kNoError)
        result = WriteWholeChunk(file, kFourCCFmt, destination.format.data(), kFormatBlockBytes, formatChunk);
    const std::uint32_t samples = FactSamples(input.dataSize);
    if (result == mmresult::kNoError)
        result = WriteWholeChunk(file, kFourCCFact, &samples, sizeof samples, factChunk);
    dataChunk = MMCKINFO{};
    dataChunk.ckid = kFourCCData;
    return result != mmresult::kNoError ? result : file.CreateChunk(dataChunk, CreateFlag::Plain);
}

MmResult RiffLayer3Writer::Finish(std::uint64_t pcmBytes)
{
    const MmResult dataResult = file.Ascend(dataChunk);
    // A cancelled run, or an input shorter than its "data" chunk claims, read less than the head
    // announced. Nor need all that was read be in the data: a cancelled run never collects what
    // the codec still holds, tens of seconds with parallel encoding. At a constant bit rate the
    // data lasts its size over the byte rate.
    std::uint64_t held = std::numeric_limits<std::uint32_t>::max();
    if (destination.AvgBytesPerSec() != 0)
        held = std::uint64_t{dataChunk.cksize} * destination.SamplesPerSec() / destination.AvgBytesPerSec();
    const auto samples = static_cast<std::uint32_t>(std::min<std::uint64_t>(FactSamples(pcmBytes), held));

    // Without the file's end as its position the RIFF size would come out wrong.
    MmResult riffResult = Overwrite(static_cast<long>(factChunk.dwDataOffset), &samples, sizeof samples)
                              ? WriteTagChunks(file, tags)
                              : mmresult::kCannotWrite;
    if (riffResult == mmresult::kNoError)
        riffResult = file.Ascend(riffChunk);
    return dataResult != mmresult::kNoError ? dataResult : riffResult;
}

} // namespace cantrix
