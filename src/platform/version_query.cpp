#include "platform/version_query.h"

#include <cstdio>
#include <sys/utsname.h>

namespace cantrix {

namespace {
constexpr std::uint32_t kOldestSupportedMajor = 4;
} // namespace

PlatformVersion QueryPlatformVersion()
{
    PlatformVersion version;
    version.platformId = platform_ids::kPosix;
    utsname name{};
    if (uname(&name) == 0) {
        unsigned major = 0;
        unsigned minor = 0;
        if (std::sscanf(name.release, "%u.%u", &major, &minor) >= 1) {
            version.majorVersion = major;
            version.minorVersion = minor;
        }
    }
    return version;
}

bool IsPlatformTooOld(const PlatformVersion& version)
{
    return version.platformId == platform_ids::kWin32Nt && version.majorVersion < kOldestSupportedMajor;
}

} // namespace cantrix
