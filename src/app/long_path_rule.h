#pragma once
#include <string>

namespace cantrix {

// Rebuilds a file argument from the command line with the file's display name: its folder part
// as written, then the display name, then its extension. An argument the file system cannot name
// (a missing file) passes unchanged. The native path syntax has no drive part.
std::string LongPathFromArgument(const std::string& argument);

} // namespace cantrix
