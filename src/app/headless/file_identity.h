#pragma once
// A file as the file system knows it, whatever path, link or hard link leads to it.
#include <compare>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace cantrix {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

inline FileIdentity IdentityOf(const struct stat& status)
{
    return {status.st_dev, status.st_ino};
}

// The file `path` leads to, through links; none when there is no such file.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

} // namespace cantrix
