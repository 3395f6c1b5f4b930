#include "app/long_path_rule.h"

#include "platform/display_name.h"

namespace cantrix {

std::string LongPathFromArgument(const std::string& argument)
{
    // Folder: up to and including the last separator. Extension: from the last dot after it.
    // Paths are taken whole, whatever their length.
    const std::size_t slash = argument.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = argument.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    const std::string folder = argument.substr(0, nameStart);
    const std::string extension = hasExtension ? argument.substr(dot) : std::string();

    const std::optional<std::string> displayName = GetDisplayName(argument);
    if (!displayName)
        return argument;
    return folder + *displayName + extension;
}

} // namespace cantrix
