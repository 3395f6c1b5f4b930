// Loaded with LD_PRELOAD by the shared-folder test. The conversion's first use of one of the
// program's temporary outputs (".NAME.cantrix-PID-N.part") waits until another process has put
// something else under its name, or 3 s have passed: the gap between making the file and writing
// it becomes as wide as the other user needs, so every round of the test is a race that the other
// user wins. The first use is a duplicate of the descriptor made with the file, or, where a
// program opens the file again by its name, that open. With SLOW_TEMPORARIES set to a pattern,
// only temporary files whose names match it wait.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { kPolls = 300 };
static const struct timespec kPollInterval = {0, 10 * 1000 * 1000};

static int IsTemporaryOutput(const char* path)
{
    const char* slash = strrchr(path, '/');
    const char* name = slash != NULL ? slash + 1 : path;
    const size_t length = strlen(name);
    const char* pattern = getenv("SLOW_TEMPORARIES");
    return name[0] == '.' && strstr(name, ".cantrix-") != NULL && length > 5 &&
           strcmp(name + length - 5, ".part") == 0 && (pattern == NULL || fnmatch(pattern, name, 0) == 0);
}

// Waits while `path` still names the file `made`.
static void AwaitSwap(const char* path, const struct stat* made)
{
    struct stat named;
    for (int i = 0; i < kPolls; ++i) {
        if (lstat(path, &named) != 0 || named.st_ino != made->st_ino || named.st_dev != made->st_dev)
            return;
        nanosleep(&kPollInterval, NULL);
    }
}

static void AwaitSwapOfDescriptor(int descriptor)
{
    char link[64], path[4096];
    struct stat made;
    snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0 || fstat(descriptor, &made) != 0)
        return;
    path[length] = '\0';
    if (IsTemporaryOutput(path))
        AwaitSwap(path, &made);
}

static void AwaitSwapOfName(const char* path, int flags)
{
    struct stat made;
    if ((flags & O_EXCL) == 0 && (flags & O_ACCMODE) != O_RDONLY && IsTemporaryOutput(path) &&
        lstat(path, &made) == 0)
        AwaitSwap(path, &made);
}

static int Duplicate(const char* symbol, int descriptor, int command, void* argument)
{
    typedef int (*Fcntl)(int, int, ...);
    if (command == F_DUPFD_CLOEXEC)
        AwaitSwapOfDescriptor(descriptor);
    return ((Fcntl)dlsym(RTLD_NEXT, symbol))(descriptor, command, argument);
}

int fcntl(int descriptor, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Duplicate("fcntl", descriptor, command, argument);
}

int fcntl64(int descriptor, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return Duplicate("fcntl64", descriptor, command, argument);
}

static int Reopen(const char* symbol, const char* path, int flags, va_list arguments)
{
    typedef int (*Open)(const char*, int, ...);
    const mode_t mode = (flags & O_CREAT) != 0 ? (mode_t)va_arg(arguments, int) : 0;
    AwaitSwapOfName(path, flags);
    return ((Open)dlsym(RTLD_NEXT, symbol))(path, flags, mode);
}

int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int opened = Reopen("open", path, flags, arguments);
    va_end(arguments);
    return opened;
}

int open64(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int opened = Reopen("open64", path, flags, arguments);
    va_end(arguments);
    return opened;
}
