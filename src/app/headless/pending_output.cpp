#include "app/headless/pending_output.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace cantrix {

namespace {
// ".NAME.cantrix-PID-SERIAL.part": hidden, and not ending in ".wav", so no folder expansion takes
// it for an input. The name is cut so that the whole stays within the usual 255-byte limit.
constexpr std::string_view kMarker = ".cantrix-";
constexpr std::string_view kSuffix = ".part";
constexpr std::size_t kKeptNameBytes = 200;
constexpr int kCreateAttempts = 100;
// Folders of a run come one after another, so a few remembered ones keep each from being swept
// again and again.
constexpr std::size_t kRememberedFolders = 16;
// The permission bits a replaced output passes on; set-user-ID and the like are not among them.
constexpr mode_t kPermissionBits = 0777;

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

// renameat() that leaves an existing `to` alone (EEXIST). File systems without the flag get a
// check before the rename instead.
int RenameWithoutReplacing(int folder, const char* from, const char* to)
{
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return -1;
    struct stat existing {};
    if (::fstatat(folder, to, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(folder, from, folder, to);
}

void RemoveIfAbandoned(int folder, const char* name, const timespec& runStart)
{
    const FileDescriptor opened(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!opened.IsOpen())
        return;
    struct stat held {
    }, named{};
    // The lock is free only when the run that made the file has ended; the name must still lead
    // to the file locked, or another run's new file could be removed.
    if (LockExclusive(opened.Get(), LOCK_NB) == 0 && ::fstat(opened.Get(), &held) == 0 &&
        S_ISREG(held.st_mode) && OlderThan(held.st_mtim, runStart) &&
        ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named))
        ::unlinkat(folder, name, 0);
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

bool PendingOutput::NameHoldsOurFile(const std::string& name) const
{
    struct stat held {
    }, named{};
    return ::fstat(file.Get(), &held) == 0 &&
           ::fstatat(folder.Get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named);
}

bool PendingOutput::Create(FileDescriptor outputFolder, const std::string& name, std::string& reason)
{
    folder = std::move(outputFolder);
    finalName = name;
    std::string kept = name.substr(0, kKeptNameBytes);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string candidate = "." + kept + std::string(kMarker) + std::to_string(::getpid()) + "-" +
                                      std::to_string(nextSerial++) + std::string(kSuffix);
        FileDescriptor opened(::openat(folder.Get(), candidate.c_str(),
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!opened.IsOpen() && errno == EEXIST)
            continue;
        if (!opened.IsOpen()) {
            reason = SystemReason(errno);
            return false;
        }
        // Another run's sweep may have removed the file before it was locked; then its name no
        // longer leads to it and another name is taken. File systems without locks get none.
        LockExclusive(opened.Get(), 0);
        file = std::move(opened);
        if (NameHoldsOurFile(candidate)) {
            temporaryName = candidate;
            return true;
        }
        file.Reset();
    }
    reason = "no free temporary name beside it";
    return false;
}

PendingOutput::Result PendingOutput::Publish(bool replace, std::string& reason)
{
    Result result = Result::Published;
    if (::fsync(file.Get()) != 0) {
        reason = SystemReason(errno);
        result = Result::Failed;
    } else if (!NameHoldsOurFile(temporaryName)) {
        // Renaming now would publish whatever another program put there, a link above all.
        reason = "another program replaced its temporary file " + temporaryName;
        result = Result::Replaced;
    } else {
        // A replaced output keeps its permissions, as it did when it was written in place; a link
        // there is replaced itself and passes nothing on.
        struct stat existing {};
        if (replace && ::fstatat(folder.Get(), finalName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(existing.st_mode))
            ::fchmod(file.Get(), existing.st_mode & kPermissionBits);
        const int moved =
            replace ? ::renameat(folder.Get(), temporaryName.c_str(), folder.Get(), finalName.c_str())
                    : RenameWithoutReplacing(folder.Get(), temporaryName.c_str(), finalName.c_str());
        if (moved == 0) {
            temporaryName.clear();
            // The temporary name could still have been swapped between the check and the rename.
            if (!NameHoldsOurFile(finalName)) {
                reason = "another program replaced it as it was published";
                result = Result::Replaced;
            }
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
    // Removed while still locked, so no sweep of another run ever sees it unlocked; what another
    // program put under the name stays.
    if (!temporaryName.empty() && NameHoldsOurFile(temporaryName))
        ::unlinkat(folder.Get(), temporaryName.c_str(), 0);
    temporaryName.clear();
    file.Reset();
}

LeftoverSweep::LeftoverSweep()
{
    ::clock_gettime(CLOCK_REALTIME, &startedAt);
}

void LeftoverSweep::SweepOnce(int folder)
{
    struct stat status {};
    if (::fstat(folder, &status) != 0 ||
        std::find(recent.begin(), recent.end(), IdentityOf(status)) != recent.end())
        return;
    recent.push_back(IdentityOf(status));
    if (recent.size() > kRememberedFolders)
        recent.pop_front();
    // The listing gets a descriptor of its own, which closedir closes.
    DIR* listing = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (listing == nullptr)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        if (IsTemporaryOutputName(entry->d_name))
            RemoveIfAbandoned(folder, entry->d_name, startedAt);
    }
    ::closedir(listing);
}

} // namespace cantrix
