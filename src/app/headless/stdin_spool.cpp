#include "app/headless/stdin_spool.h"

#include "app/headless/descriptor_io.h"
#include "platform/riff_file.h"

#include <cerrno>
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
// The sizes a writer that cannot seek back leaves in a stream: ffmpeg writes the largest value,
// sox its largest guess, 0x7FFFF000 less a frame or two, and the RIFF size that follows from it.
constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;
constexpr std::uint32_t kGuessesFrom = 0x7FFF0000;
constexpr std::uint32_t kGuessesTo = 0x80000000;

bool IsPlaceholder(std::uint32_t size)
{
    return size == kUnknownSize || (size >= kGuessesFrom && size <= kGuessesTo);
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
        if (length > kMaxStreamBytes) {
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
    // what it holds. Every other size stays as it came, and the analysis checks the copy as
    // strictly as any file: a stream cut short gets the same warning as a file cut short.
    RiffFile copy;
    MMCKINFO riff{};
    MMCKINFO data{};
    riff.fccType = kFourCCWave;
    data.ckid = kFourCCData;
    if (copy.Open(Path(), OpenMode::Read) != mmresult::kNoError ||
        copy.Descend(riff, nullptr, DescendFlag::FindRiff) != mmresult::kNoError)
        return true;
    const bool hasData = copy.Descend(data, &riff, DescendFlag::FindChunk) == mmresult::kNoError;
    copy.Close();

    auto fit = [&](const MMCKINFO& chunk) {
        const std::int64_t holds = length - chunk.dwDataOffset;
        if (chunk.dwDataOffset + std::int64_t{chunk.cksize} <= length || !IsPlaceholder(chunk.cksize))
            return true;
        unsigned char field[kSizeFieldBytes];
        for (std::uint32_t i = 0; i < kSizeFieldBytes; ++i)
            field[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(holds) >> (8 * i));
        return ::pwrite(descriptor, field, sizeof field, chunk.dwDataOffset - kSizeFieldBytes) ==
               static_cast<ssize_t>(sizeof field);
    };
    return fit(riff) && (!hasData || fit(data));
}

} // namespace cantrix
