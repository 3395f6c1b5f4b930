#pragma once
// The file system's display name of a file: what a file manager shows for it.
#include <optional>
#include <string>

namespace cantrix {

// For an existing file, its name without the extension (everything from the name's last dot);
// nothing when the file does not exist.
std::optional<std::string> GetDisplayName(const std::string& path);

} // namespace cantrix
