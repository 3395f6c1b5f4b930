#pragma once
// The version query: which platform the program runs on, for the start-up check that refuses a
// platform too old for it.
#include <cstdint>

namespace cantrix {

struct PlatformVersion {
    std::uint32_t platformId = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
};

namespace platform_ids {
// The platform family whose releases below 4 the program refuses.
constexpr std::uint32_t kWin32Nt = 2;
// Every POSIX system; never refused.
constexpr std::uint32_t kPosix = 0x100;
} // namespace platform_ids

// The running system: a POSIX platform with the kernel's release numbers.
PlatformVersion QueryPlatformVersion();

// True for the platform family kWin32Nt below major version 4.
bool IsPlatformTooOld(const PlatformVersion& version);

} // namespace cantrix
