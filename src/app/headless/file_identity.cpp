#include "app/headless/file_identity.h"

namespace cantrix {

std::optional<FileIdentity> IdentifyFile(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return IdentityOf(status);
}

} // namespace cantrix
