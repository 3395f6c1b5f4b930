#include "app/headless/output_relay.h"

#include "app/headless/descriptor_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <vector>

namespace cantrix {

namespace {
constexpr std::size_t kBlockBytes = 64 * 1024;

extern "C" void OnWake(int)
{
}

// A signal that only interrupts the copier's system call: installed without SA_RESTART, so a
// blocked open or write returns EINTR. A real-time signal, which no other program sends by habit.
int WakeSignal()
{
    static const int number = [] {
        struct sigaction action {};
        action.sa_handler = OnWake;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGRTMIN, &action, nullptr);
        return SIGRTMIN;
    }();
    return number;
}
} // namespace

OutputRelay::~OutputRelay()
{
    Abandon();
    Finish();
}

bool OutputRelay::Start(std::string& error)
{
    return Begin(error);
}

bool OutputRelay::StartPath(const std::string& destination, bool follow, std::string& error)
{
    path = destination;
    followLink = follow;
    return Begin(error);
}

bool OutputRelay::Begin(std::string& error)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("no pipe to the output: ") + std::strerror(errno);
        return false;
    }
    readEnd = FileDescriptor(ends[0]);
    writeEnd = FileDescriptor(ends[1]);
    WakeSignal();
    copier = std::thread([this] { Copy(); });
    return true;
}

void OutputRelay::Abandon()
{
    abandoned = true;
    if (copier.joinable())
        ::pthread_kill(copier.native_handle(), WakeSignal());
}

bool OutputRelay::Finish()
{
    // The engine's own descriptor of the pipe is closed by now, so closing this one ends the
    // stream for the copier.
    writeEnd.Reset();
    if (copier.joinable())
        copier.join();
    readEnd.Reset();
    return !openFailed && !writeFailed;
}

void OutputRelay::Copy()
{
    FileDescriptor named;
    bool dropping = false;
    if (!path.empty()) {
        // Opening a FIFO waits for its reader.
        const int flags = O_WRONLY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
        while (!named.IsOpen()) {
            named = FileDescriptor(::open(path.c_str(), flags));
            if (named.IsOpen() || (errno == EINTR && !abandoned.load()))
                continue;
            openFailed = errno != EINTR;
            errorNumber = errno;
            dropping = true;
            break;
        }
    }
    const int destination = named.IsOpen() ? named.Get() : STDOUT_FILENO;
    std::vector<unsigned char> block(kBlockBytes);
    for (;;) {
        const ssize_t got = ::read(readEnd.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        // After a failed write the pipe is still drained, so the engine never waits on it.
        if (!dropping && !WriteAll(destination, block.data(), static_cast<std::size_t>(got), &abandoned)) {
            dropping = true;
            if (errno != EINTR) {
                writeFailed = true;
                errorNumber = errno;
                readerGone = errno == EPIPE;
            }
        }
    }
}

} // namespace cantrix
