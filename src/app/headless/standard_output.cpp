#include "app/headless/standard_output.h"

#include "app/headless/descriptor_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cantrix {

namespace {
constexpr std::size_t kBlockBytes = 64 * 1024;
} // namespace

bool StandardOutputTakesContainer()
{
    struct stat status {};
    if (::fstat(STDOUT_FILENO, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    return flags >= 0 && (flags & O_APPEND) == 0 && ::lseek(STDOUT_FILENO, 0, SEEK_CUR) == 0;
}

StandardOutputRelay::~StandardOutputRelay()
{
    Finish();
}

bool StandardOutputRelay::Start(std::string& error)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("no pipe to standard output: ") + std::strerror(errno);
        return false;
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    copier = std::thread([this] { Copy(); });
    return true;
}

std::string StandardOutputRelay::Path() const
{
    return "/proc/self/fd/" + std::to_string(writeEnd);
}

bool StandardOutputRelay::Finish()
{
    // The engine's own descriptor of the pipe is closed by now, so closing this one ends the
    // stream for the copier.
    if (writeEnd >= 0)
        ::close(writeEnd);
    writeEnd = -1;
    if (copier.joinable())
        copier.join();
    if (readEnd >= 0)
        ::close(readEnd);
    readEnd = -1;
    return !writeFailed;
}

void StandardOutputRelay::Copy()
{
    std::vector<unsigned char> block(kBlockBytes);
    for (;;) {
        const ssize_t got = ::read(readEnd, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        // After a failed write the pipe is still drained, so the engine never waits on it; the
        // run is then reported as incomplete.
        if (!writeFailed && !WriteAll(STDOUT_FILENO, block.data(), static_cast<std::size_t>(got))) {
            writeFailed = true;
            readerGone = errno == EPIPE;
        }
    }
}

} // namespace cantrix
