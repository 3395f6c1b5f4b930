// Fuzz target for the whole path of a WAV file through the engine, as the window and the terminal
// take it: the analysis (probe and full), the catalogue and its presets, and a conversion through
// the real codec driver on the engine's worker thread. The checks: both analyses agree, the presets
// name entries within their bounds, the run reads every PCM byte the file holds, and its output is
// whole Layer-3 frames, after an ID3v2 tag or in a RIFF/WAVE file whose sizes add up, whose "fact"
// states the length of the input read and whose tag chunks follow the data; only an input with
// tags gives an output with tags.
#include "drivers/built_in_drivers.h"
#include "drivers/layer3_frames.h"
#include "drivers/layer3_geometry.h"
#include "engine/converter_engine.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace cantrix;

// Longer inputs add encoding time, not paths.
constexpr std::size_t kMaxInputBytes = 64 * 1024;
constexpr std::uint32_t kModemBytesPerSec = 3000;
constexpr std::uint32_t kIsdnBytesPerSec = 14000;
// "RIFF" and "WAVE", "fmt " with its 32-byte block, "fact" with its count, the "data" header.
constexpr std::size_t kRiffDataOffset = 72;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::uint32_t U32(const std::vector<unsigned char>& bytes, std::size_t offset)
{
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

bool IsFourCC(const std::vector<unsigned char>& bytes, std::size_t offset, const char* code)
{
    return std::memcmp(bytes.data() + offset, code, 4) == 0;
}

// One memory file each for the input and the output, reached by path as the engine needs.
struct MemoryFile {
    int fd = memfd_create("whole_path_fuzz", MFD_CLOEXEC);
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd); }
};

std::vector<unsigned char> Contents(const MemoryFile& file)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(lseek(file.fd, 0, SEEK_END)));
    Check(pread(file.fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    return bytes;
}

void CheckPresets(const ConverterEngine& engine)
{
    const auto& formats = engine.GetFormats();
    const auto rate = [&](int index) { return formats[static_cast<std::size_t>(index)].AvgBytesPerSec(); };
    const int lowest = engine.FindLowestBitrateFormat();
    for (const int index : {lowest, engine.FindModemFormat(), engine.FindIsdnFormat()})
        Check(index >= 0 && static_cast<std::size_t>(index) < formats.size() && rate(index) >= rate(lowest));
    for (const FormatEntry& entry : formats)
        Check(entry.AvgBytesPerSec() >= rate(lowest) && entry.name[0] != '\0');
    Check(rate(engine.FindModemFormat()) <= kModemBytesPerSec || engine.FindModemFormat() == lowest);
    Check(rate(engine.FindIsdnFormat()) <= kIsdnBytesPerSec || engine.FindIsdnFormat() == lowest);
}

// The Layer-3 data holds whole frames only; returns how many.
std::uint64_t CheckFrames(const std::vector<unsigned char>& bytes, std::size_t offset, std::size_t length)
{
    Layer3Stream stream;
    stream.Bytes().assign(bytes.begin() + static_cast<long>(offset),
                          bytes.begin() + static_cast<long>(offset + length));
    Check(stream.Index());
    Check(stream.FrameOffset(stream.FrameEnd()) == length);
    return stream.FrameEnd();
}

// The bytes of the ID3v2 tag in front of a raw stream, 0 without one.
std::size_t Id3TagBytes(const std::vector<unsigned char>& file)
{
    if (file.size() < 10 || !IsFourCC(file, 0, "ID3\3"))
        return 0;
    std::size_t size = 10;
    for (std::size_t i = 6; i < 10; ++i)
        size += static_cast<std::size_t>(file[i]) << (7 * (9 - i));
    Check(size <= file.size());
    return size;
}

// The "LIST"/"INFO" and "id3 " chunks from `at` to the end of the file; false when there are none.
bool CheckTagChunks(const std::vector<unsigned char>& file, std::size_t at)
{
    const std::size_t start = at;
    while (at < file.size()) {
        Check(at + 8 <= file.size());
        Check((IsFourCC(file, at, "LIST") && IsFourCC(file, at + 8, "INFO")) || IsFourCC(file, at, "id3 "));
        at += 8 + U32(file, at + 4) + U32(file, at + 4) % 2;
    }
    Check(at == file.size());
    return at != start;
}

void CheckRiffOutput(const std::vector<unsigned char>& file, const FormatEntry& format,
                     std::uint32_t factSamples, bool tagged)
{
    Check(file.size() >= kRiffDataOffset && file.size() % 2 == 0);
    Check(IsFourCC(file, 0, "RIFF") && U32(file, 4) == file.size() - 8 && IsFourCC(file, 8, "WAVE"));
    Check(IsFourCC(file, 12, "fmt ") && U32(file, 16) == kFormatBlockBytes);
    Check(std::equal(format.format.begin(), format.format.end(), file.begin() + 20));
    Check(IsFourCC(file, 52, "fact") && U32(file, 56) == 4 && U32(file, 60) == factSamples);
    const std::uint32_t dataBytes = U32(file, 68);
    Check(IsFourCC(file, 64, "data") && kRiffDataOffset + dataBytes + dataBytes % 2 <= file.size());
    Check(!CheckTagChunks(file, kRiffDataOffset + dataBytes + dataBytes % 2) || tagged);
    Check(dataBytes % 2 == 0 || file.back() == 0);
    const std::uint64_t frames = CheckFrames(file, kRiffDataOffset, dataBytes);
    // The frames decode to the encoder's delay and padding around the input.
    Check(factSamples <= frames * layer3::FrameSamples(format.SamplesPerSec()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallBuiltInDrivers(CodecManager::Instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxInputBytes)
        return 0;
    static const MemoryFile input;
    static const MemoryFile output;
    if (input.fd < 0 || output.fd < 0 || ftruncate(input.fd, 0) != 0 || ftruncate(output.fd, 0) != 0 ||
        (size > 0 && pwrite(input.fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();

    ConverterEngine engine;
    const bool probed = engine.AnalyzeInput(input.Path(), true);
    Check(engine.AnalyzeInput(input.Path(), false) == probed);
    if (!probed)
        return 0;
    const WAVEFORMATEX& pcm = engine.GetInputFormat();
    Check((pcm.wFormatTag == kWaveFormatPcm || pcm.wFormatTag == kWaveFormatIeeeFloat) && pcm.cbSize == 0 &&
          engine.GetDataOffset() <= size);

    // The input's bytes choose the format and the container, so that every one is reached.
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    const unsigned count = engine.GetFormatCount();
    engine.SetOutputPath(output.Path());
    engine.SetWriteRiff(hash % 4 != 0);
    engine.SetFormatIndex(count == 0 ? 0 : static_cast<int>(hash / 4 % count));
    if (count == 0) {
        // Nothing to convert to: refused before any file is opened.
        Check(!engine.StartConversion() && lseek(output.fd, 0, SEEK_END) == 0);
        return 0;
    }
    CheckPresets(engine);

    const FormatEntry format = engine.GetFormats()[static_cast<std::size_t>(engine.GetFormatIndex())];
    Check(engine.StartConversion());
    engine.WaitForWorker();
    Check(engine.GetRunOutcome() == RunOutcome::Finished);
    const std::uint64_t held = size - engine.GetDataOffset();
    Check(engine.GetRunPcmBytes() == std::min<std::uint64_t>(engine.GetDataSize(), held));

    const std::vector<unsigned char> file = Contents(output);
    const bool tagged = !engine.GetInputTags().tags.Empty();
    if (engine.GetWriteRiff() == 0) {
        const std::size_t tag = Id3TagBytes(file);
        Check(tag == 0 || tagged);
        CheckFrames(file, tag, file.size() - tag);
        return 0;
    }
    const std::uint64_t inputFrames = pcm.nBlockAlign == 0 ? 0 : engine.GetRunPcmBytes() / pcm.nBlockAlign;
    const std::uint64_t factSamples =
        pcm.nSamplesPerSec == 0 ? 0 : inputFrames * format.SamplesPerSec() / pcm.nSamplesPerSec;
    CheckRiffOutput(file, format, static_cast<std::uint32_t>(factSamples), tagged);
    return 0;
}
