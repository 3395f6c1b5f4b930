#include "platform/display_name.h"

#include <filesystem>
#include <system_error>

namespace cantrix {

std::optional<std::string> GetDisplayName(const std::string& path)
{
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error) || error)
        return std::nullopt;
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

} // namespace cantrix
