#include "app/headless/pending_output.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace cantrix {

namespace {
namespace fs = std::filesystem;

// ".NAME.cantrix-PID-SERIAL.part": hidden, and not ending in ".wav", so no folder expansion takes
// it for an input. The name is cut so that the whole stays within the usual 255-byte limit.
constexpr std::string_view kMarker = ".cantrix-";
constexpr std::string_view kSuffix = ".part";
constexpr std::size_t kKeptNameBytes = 200;
constexpr int kCreateAttempts = 100;

std::atomic<unsigned> nextSerial{0};

std::string SystemReason(int number)
{
    return std::system_category().message(number);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool OlderThan(const timespec& time, const timespec& limit)
{
    return time.tv_sec < limit.tv_sec || (time.tv_sec == limit.tv_sec && time.tv_nsec < limit.tv_nsec);
}

int LockExclusive(int descriptor, int flags)
{
    int result;
    do {
        result = ::flock(descriptor, LOCK_EX | flags);
    } while (result != 0 && errno == EINTR);
    return result;
}

// rename() that leaves an existing `to` alone (EEXIST). File systems without the flag get a
// check before the rename instead.
int RenameWithoutReplacing(const char* from, const char* to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return -1;
    struct stat existing {};
    if (::lstat(to, &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

void RemoveIfAbandoned(const std::string& path, const timespec& runStart)
{
    const int opened = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0)
        return;
    struct stat held {
    }, named{};
    // The lock is free only when the run that made the file has ended; the name must still lead
    // to the file locked, or another run's new file could be removed.
    if (LockExclusive(opened, LOCK_NB) == 0 && ::fstat(opened, &held) == 0 && S_ISREG(held.st_mode) &&
        OlderThan(held.st_mtim, runStart) && ::lstat(path.c_str(), &named) == 0 && SameFile(held, named))
        ::unlink(path.c_str());
    ::close(opened);
}
} // namespace

bool IsTemporaryOutputName(const std::string& name)
{
    if (name.size() < 1 + kMarker.size() + kSuffix.size() || name.front() != '.' || !name.ends_with(kSuffix))
        return false;
    const std::size_t marker = name.rfind(kMarker);
    if (marker == std::string::npos || marker == 0)
        return false;
    // PID-SERIAL: digits, one dash, digits.
    const std::string_view numbers(name.data() + marker + kMarker.size(),
                                   name.size() - marker - kMarker.size() - kSuffix.size());
    const std::size_t dash = numbers.find('-');
    auto digits = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return dash != std::string_view::npos && digits(numbers.substr(0, dash)) &&
           digits(numbers.substr(dash + 1));
}

PendingOutput::~PendingOutput()
{
    Discard();
}

bool PendingOutput::Create(const std::string& path, std::string& reason)
{
    finalPath = path;
    const fs::path target(path);
    std::string name = target.filename().string();
    if (name.size() > kKeptNameBytes)
        name.resize(kKeptNameBytes);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string candidate =
            (target.parent_path() / ("." + name + std::string(kMarker) + std::to_string(::getpid()) + "-" +
                                     std::to_string(nextSerial++) + std::string(kSuffix)))
                .string();
        const int opened = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (opened < 0 && errno == EEXIST)
            continue;
        if (opened < 0) {
            reason = SystemReason(errno);
            return false;
        }
        // Another run's sweep may have removed the file before it was locked; then its name no
        // longer leads to it and another name is taken. File systems without locks get none.
        LockExclusive(opened, 0);
        struct stat held {
        }, named{};
        if (::fstat(opened, &held) == 0 && ::lstat(candidate.c_str(), &named) == 0 && SameFile(held, named)) {
            descriptor = opened;
            temporaryPath = candidate;
            return true;
        }
        ::close(opened);
    }
    reason = "no free temporary name beside it";
    return false;
}

PendingOutput::Result PendingOutput::Publish(bool replace, std::string& reason)
{
    Result result = Result::Published;
    if (::fsync(descriptor) != 0) {
        reason = SystemReason(errno);
        result = Result::Failed;
    } else {
        // A replaced output keeps its permissions, as it did when it was written in place.
        struct stat existing {};
        if (replace && ::stat(finalPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
            ::fchmod(descriptor, existing.st_mode & 07777);
        const int moved = replace ? ::rename(temporaryPath.c_str(), finalPath.c_str())
                                  : RenameWithoutReplacing(temporaryPath.c_str(), finalPath.c_str());
        if (moved == 0) {
            temporaryPath.clear();
        } else if (!replace && errno == EEXIST) {
            result = Result::Exists;
        } else {
            reason = SystemReason(errno);
            result = Result::Failed;
        }
    }
    Discard();
    return result;
}

void PendingOutput::Discard()
{
    // Removed while still locked, so no sweep of another run ever sees it unlocked.
    if (!temporaryPath.empty())
        ::unlink(temporaryPath.c_str());
    temporaryPath.clear();
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

LeftoverSweep::LeftoverSweep()
{
    ::clock_gettime(CLOCK_REALTIME, &startedAt);
}

void LeftoverSweep::SweepOnce(const std::string& folder)
{
    if (!swept.insert(folder).second)
        return;
    std::error_code error;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
         it.increment(error)) {
        if (IsTemporaryOutputName(it->path().filename().string()))
            RemoveIfAbandoned(it->path().string(), startedAt);
    }
}

} // namespace cantrix
