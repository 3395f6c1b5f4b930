#include "app/headless/stdin_spool.h"

#include "app/headless/descriptor_io.h"
#include "platform/riff_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace cantrix {

namespace {
constexpr std::size_t kBlockBytes = 64 * 1024;
constexpr int kPollMilliseconds = 100;
// The "RIFF" header and the largest size its 32-bit field can state.
constexpr std::int64_t kMaxStreamBytes = 8 + std::int64_t{0xFFFFFFFF};
constexpr std::uint32_t kSizeFieldBytes = 4;
constexpr std::uint64_t kChunkHeaderBytes = 8;
// How far from the end tag chunks after the data are looked for: INFO text is short, and a
// picture in an id3 chunk rarely larger.
constexpr std::int64_t kMaxTagTailBytes = 1 << 20;

std::uint64_t LoadLe32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint64_t{bytes[3]} << 24;
}

// A "LIST"/"INFO" chunk whose fields fill it exactly, or an "id3 " chunk that starts with an
// ID3v2 tag, at `at` of `bytes`, that ends (with or without its pad byte) at `end`.
bool IsTagChunkEndingAt(const std::vector<unsigned char>& bytes, std::uint64_t at, std::uint64_t end)
{
    if (end - at < kChunkHeaderBytes + kSizeFieldBytes)
        return false;
    const unsigned char* chunk = bytes.data() + at;
    const std::uint64_t size = LoadLe32(chunk + kSizeFieldBytes);
    const std::uint64_t chunkEnd = at + kChunkHeaderBytes + size;
    if (chunkEnd + (size & 1) != end && chunkEnd != end)
        return false;
    if (std::memcmp(chunk, "id3 ", 4) == 0 || std::memcmp(chunk, "ID3 ", 4) == 0)
        return std::memcmp(chunk + kChunkHeaderBytes, "ID3", 3) == 0;
    if (std::memcmp(chunk, "LIST", 4) != 0 || std::memcmp(chunk + kChunkHeaderBytes, "INFO", 4) != 0)
        return false;
    std::uint64_t field = at + kChunkHeaderBytes + kSizeFieldBytes;
    while (field + kChunkHeaderBytes <= chunkEnd) {
        const std::uint64_t fieldSize = LoadLe32(bytes.data() + field + kSizeFieldBytes);
        field += kChunkHeaderBytes + fieldSize + (fieldSize & 1);
    }
    return field == chunkEnd || field == chunkEnd + 1;
}

// Where the samples of a "data" chunk of unknown size end: before the tag chunks that a writer
// which cannot seek back put after them, found from the stream's end; else at the end.
std::int64_t TagChunksStart(int descriptor, std::int64_t dataStart, std::int64_t length)
{
    const std::int64_t from = std::max(dataStart, length - kMaxTagTailBytes);
    std::vector<unsigned char> tail(static_cast<std::size_t>(length - from));
    if (::pread(descriptor, tail.data(), tail.size(), from) != static_cast<ssize_t>(tail.size()))
        return length;
    std::uint64_t end = tail.size();
    for (std::uint64_t at = end; at-- > 0;) {
        if (IsTagChunkEndingAt(tail, at, end))
            end = at;
    }
    return from + static_cast<std::int64_t>(end);
}

// The sizes a writer that cannot seek back leaves in a stream: ffmpeg writes the largest value,
// sox its largest guess, 0x7FFFF000 less a frame or two, and the RIFF size that follows from it.
constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;
constexpr std::uint32_t kGuessesFrom = 0x7FFF0000;
constexpr std::uint32_t kGuessesTo = 0x80000000;

bool IsPlaceholder(std::uint32_t size)
{
    return size == kUnknownSize || (size >= kGuessesFrom && size <= kGuessesTo);
}

// Whether the copy starts with a form whose sizes reach beyond 4 GiB: RF64, BW64, or Wave64 (whose
// first GUID starts with "riff").
bool HoldsWideForm(int descriptor)
{
    char id[4];
    if (::pread(descriptor, id, sizeof id, 0) != static_cast<ssize_t>(sizeof id))
        return false;
    return std::memcmp(id, "RF64", 4) == 0 || std::memcmp(id, "BW64", 4) == 0 ||
           std::memcmp(id, "riff", 4) == 0;
}

std::string TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

std::string Reason()
{
    return std::strerror(errno);
}
} // namespace

StdinSpool::~StdinSpool()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

std::string StdinSpool::Path() const
{
    return "/proc/self/fd/" + std::to_string(descriptor);
}

bool StdinSpool::Fill(const std::atomic<int>& stopSignal, std::string& error)
{
    if (::isatty(STDIN_FILENO) != 0) {
        error = "standard input is a terminal; pipe a WAV file or stream into it";
        return false;
    }
    const std::string folder = TemporaryFolder();
    std::string name = folder + "/cantrix-stdin-XXXXXX";
    descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0) {
        error = "no temporary file for standard input in " + folder + ": " + Reason();
        return false;
    }
    ::unlink(name.c_str());

    std::vector<unsigned char> block(kBlockBytes);
    std::int64_t length = 0;
    for (;;) {
        if (stopSignal.load() != 0) {
            error = "not converted (interrupted)";
            return false;
        }
        // A writer may keep the pipe quiet for long; waking up now and then sees Ctrl-C, which
        // may have been delivered to another thread.
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        if (::poll(&ready, 1, kPollMilliseconds) <= 0)
            continue;
        const ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = "standard input could not be read: " + Reason();
            return false;
        }
        if (got == 0)
            break;
        length += got;
        if (length > kMaxStreamBytes && !HoldsWideForm(descriptor)) {
            error = "standard input holds more than a WAV file can describe (4 GiB)";
            return false;
        }
        if (!WriteAll(descriptor, block.data(), static_cast<std::size_t>(got))) {
            error = "standard input could not be copied to " + folder + ": " + Reason();
            return false;
        }
    }
    if (!RepairStreamedSizes(length)) {
        error = "standard input could not be copied to " + folder + ": " + Reason();
        return false;
    }
    return true;
}

bool StdinSpool::RepairStreamedSizes(std::int64_t length)
{
    // A writer that cannot seek back (sox or ffmpeg into a pipe) leaves the sizes of "RIFF" and
    // "data" as placeholders: 0xFFFFFFFF or a guess larger than what follows. Now that the
    // stream's length is known, a placeholder that claims more than the stream holds is set to
    // what it holds (for "data", up to the tag chunks after it, so that they stay tags). Every
    // other size stays as it came, and the analysis checks the copy as strictly as any file: a
    // stream cut short gets the same warning as a file cut short.
    RiffFile copy;
    MMCKINFO riff{};
    MMCKINFO data{};
    riff.fccType = kFourCCWave;
    data.ckid = kFourCCData;
    if (copy.Open(Path(), OpenMode::Read) != mmresult::kNoError ||
        copy.Descend(riff, nullptr, DescendFlag::FindRiff) != mmresult::kNoError)
        return true;
    const bool hasData = copy.Descend(data, &riff, DescendFlag::FindChunk) == mmresult::kNoError;
    // Only read: its close loses nothing.
    (void)copy.Close();

    auto fit = [&](const MMCKINFO& chunk, std::int64_t end) {
        const std::int64_t holds = end - chunk.dwDataOffset;
        // A stream over 4 GiB keeps its placeholder, which the analysis reads as "to the end".
        if (chunk.dwDataOffset + std::int64_t{chunk.cksize} <= length || !IsPlaceholder(chunk.cksize) ||
            holds > std::int64_t{UINT32_MAX})
            return true;
        unsigned char field[kSizeFieldBytes];
        for (std::uint32_t i = 0; i < kSizeFieldBytes; ++i)
            field[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(holds) >> (8 * i));
        return ::pwrite(descriptor, field, sizeof field, chunk.dwDataOffset - kSizeFieldBytes) ==
               static_cast<ssize_t>(sizeof field);
    };
    if (!fit(riff, length))
        return false;
    const bool dataFits = !hasData || data.dwDataOffset + std::int64_t{data.cksize} <= length;
    return dataFits || fit(data, TagChunksStart(descriptor, data.dwDataOffset, length));
}

} // namespace cantrix
