#include "app/headless/descriptor_io.h"

#include <cerrno>
#include <unistd.h>

namespace cantrix {

bool WriteAll(int descriptor, const void* data, std::size_t count, const std::atomic<bool>* giveUp)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ssize_t written = ::write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR && (giveUp == nullptr || !giveUp->load()))
            continue;
        // Zero bytes written would repeat forever; treat it as the failure it is.
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace cantrix
