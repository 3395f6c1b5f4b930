#include "app/headless/standard_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantrix {

bool StandardOutputTakesContainer()
{
    struct stat status {};
    if (::fstat(STDOUT_FILENO, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    return flags >= 0 && (flags & O_APPEND) == 0 && ::lseek(STDOUT_FILENO, 0, SEEK_CUR) == 0;
}

bool NamesStandardOutput(const std::string& path)
{
    struct stat standard {
    }, named{};
    return ::fstat(STDOUT_FILENO, &standard) == 0 && ::stat(path.c_str(), &named) == 0 &&
           standard.st_dev == named.st_dev && standard.st_ino == named.st_ino;
}

} // namespace cantrix
