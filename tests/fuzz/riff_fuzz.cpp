// Fuzz target for the RIFF reader: every input is read as a WAV file through the 32-bit records and
// by the input analysis (RIFF, RF64, BW64, Wave64; its "fmt " judged as the analysis judges it),
// then walked chunk by chunk as a general reader would, then read for its tags, which are rendered
// as an output's ID3v2 tag. Sanitizers catch reads outside the buffers; the checks below catch a
// descent that reports a chunk outside its parent or the file, a format taken as PCM that is not
// described as such, an analysis that locates samples the file does not hold, tag text that is not
// UTF-8 and a rendered tag that does not read back.
#include "audio/id3_tag.h"
#include "audio/input_analysis.h"
#include "audio/input_tags.h"
#include "audio/plain_pcm_format.h"
#include "platform/codec_driver.h"
#include "platform/riff_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace cantrix;

// Deep enough for any real file; bounds the recursion on crafted nests of "LIST" chunks.
constexpr int kMaxDepth = 8;
constexpr long kBlockSize = kCallerBlockBytes; // the conversion's source block

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool HasFormType(const MMCKINFO& chunk)
{
    return chunk.ckid == kFourCCRiff || chunk.ckid == kFourCCList;
}

// A descent's promises: the header lies inside the parent (or the file), and the file stands on
// the chunk's data.
void CheckFound(RiffFile& file, const MMCKINFO& chunk, const MMCKINFO* parent, std::int64_t fileLength)
{
    const std::int64_t headerStart = static_cast<std::int64_t>(chunk.dwDataOffset) - 8;
    const std::int64_t dataStart =
        static_cast<std::int64_t>(chunk.dwDataOffset) + (HasFormType(chunk) ? 4 : 0);
    Check(chunk.dwFlags == 0);
    Check(headerStart >= 0 && dataStart <= fileLength);
    Check(file.Seek(0, SEEK_CUR) == dataStart);
    if (parent != nullptr) {
        Check(headerStart >= parent->dwDataOffset);
        Check(dataStart <= static_cast<std::int64_t>(parent->dwDataOffset) + parent->cksize);
    }
}

void CheckAscended(RiffFile& file, const MMCKINFO& chunk)
{
    Check(file.Seek(0, SEEK_CUR) ==
          static_cast<std::int64_t>(chunk.dwDataOffset) + chunk.cksize + (chunk.cksize & 1));
}

void ReadWave(RiffFile& file, std::int64_t fileLength)
{
    MMCKINFO riff;
    MMCKINFO sub;
    riff.fccType = kFourCCWave;
    sub.ckid = kFourCCFmt;
    if (file.Descend(riff, nullptr, DescendFlag::FindRiff) != mmresult::kNoError)
        return;
    CheckFound(file, riff, nullptr, fileLength);
    Check(riff.ckid == kFourCCRiff && riff.fccType == kFourCCWave);
    if (file.Descend(sub, &riff, DescendFlag::FindChunk) != mmresult::kNoError)
        return;
    CheckFound(file, sub, &riff, fileLength);
    Check(sub.ckid == kFourCCFmt);
    unsigned char format[kFormatBytesToRead];
    const long got = file.Read(format, std::min<long>(sizeof format, sub.cksize));
    Check(got >= 0 && got <= static_cast<long>(sizeof format));
    WAVEFORMATEX pcm;
    if (DescribePlainPcm(format, static_cast<std::size_t>(got), sub.cksize, pcm))
        Check((pcm.wFormatTag == kWaveFormatPcm || pcm.wFormatTag == kWaveFormatIeeeFloat) &&
              pcm.cbSize == 0);
    if (file.Ascend(sub) != mmresult::kNoError)
        return;
    CheckAscended(file, sub);
    sub.ckid = kFourCCData;
    if (file.Descend(sub, &riff, DescendFlag::FindChunk) != mmresult::kNoError)
        return;
    CheckFound(file, sub, &riff, fileLength);
    Check(sub.ckid == kFourCCData);
    // The data may claim more than the file holds: reads just come back short, then empty.
    std::int64_t position = sub.dwDataOffset;
    unsigned char block[kBlockSize];
    for (long count; (count = file.Read(block, kBlockSize)) > 0;)
        position += count;
    Check(position == fileLength);
}

void Walk(RiffFile& file, const MMCKINFO* parent, int depth, std::int64_t fileLength)
{
    MMCKINFO chunk;
    while (file.Descend(chunk, parent, DescendFlag::Any) == mmresult::kNoError) {
        CheckFound(file, chunk, parent, fileLength);
        if (HasFormType(chunk) && depth < kMaxDepth)
            Walk(file, &chunk, depth + 1, fileLength);
        if (file.Ascend(chunk) != mmresult::kNoError)
            return;
        CheckAscended(file, chunk);
    }
}

void ReadTags(RiffFile& file, std::size_t fileLength)
{
    const InputTags read = ReadInputTags(file);
    for (const std::string& field : read.tags.fields) {
        const auto* text = reinterpret_cast<const unsigned char*>(field.data());
        Check(DecodeTagText(text, field.size()) == field);
    }
    Check(read.tags.id3.size() <= fileLength);
    const std::vector<unsigned char> rendered = RenderId3v2Tag(read.tags);
    Check(rendered.empty() || ReadId3Fields(rendered).has_value());
}

// What the analysis finds is what the conversion reads: samples it can take, inside the file, with
// the file standing on the first of them.
void Analyze(RiffFile& file, std::int64_t fileLength)
{
    const InputAnalysis analysis = AnalyzeWave(file);
    Check(analysis.input.has_value() != (analysis.message != 0));
    if (!analysis.input)
        return;
    const InputDescription& input = *analysis.input;
    const WAVEFORMATEX& format = input.format;
    Check(format.wFormatTag == kWaveFormatPcm || format.wFormatTag == kWaveFormatIeeeFloat);
    Check(format.cbSize == 0 && format.nChannels <= 2);
    Check(input.heldBytes >= std::max<std::uint64_t>(format.nBlockAlign, 1) &&
          input.heldBytes <= input.dataSize);
    Check(input.dataOffset + input.heldBytes <= static_cast<std::uint64_t>(fileLength));
    Check(!input.lengthUnknown ||
          input.dataOffset + input.dataSize == static_cast<std::uint64_t>(fileLength));
    Check(file.Seek(0, SEEK_CUR) == static_cast<long>(input.dataOffset));
}

// One memory file for the whole run; each input replaces its contents.
int InputFile()
{
    static const int fd = memfd_create("riff_fuzz", MFD_CLOEXEC);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = InputFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 ||
        (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();
    const auto fileLength = static_cast<std::int64_t>(size);

    RiffFile file;
    Check(file.Open("/proc/self/fd/" + std::to_string(fd), OpenMode::Read) == mmresult::kNoError);
    ReadWave(file, fileLength);
    Check(file.Seek(0, SEEK_SET) == 0);
    Analyze(file, fileLength);
    Check(file.Seek(0, SEEK_SET) == 0);
    Walk(file, nullptr, 0, fileLength);
    ReadTags(file, size);
    Check(file.Close() == mmresult::kNoError);
    return 0;
}
