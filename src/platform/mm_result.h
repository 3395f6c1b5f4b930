#pragma once
// Result codes of the RIFF file layer and the codec manager, numbered as the multimedia system
// numbers them so that a stored `lastResult` reads the same on every platform.
#include <cstdint>

namespace cantrix {

using MmResult = std::uint32_t;

namespace mmresult {
constexpr MmResult kNoError = 0;
constexpr MmResult kError = 1;
constexpr MmResult kBadDeviceId = 2;
constexpr MmResult kNotEnabled = 3;
constexpr MmResult kInvalidHandle = 5;
constexpr MmResult kNoDriver = 6;
constexpr MmResult kNoMemory = 7;
constexpr MmResult kNotSupported = 8;
constexpr MmResult kInvalidFlag = 10;
constexpr MmResult kInvalidParam = 11;
constexpr MmResult kNotPossible = 512; // the codec cannot do what was asked
constexpr MmResult kFileNotFound = 257;
constexpr MmResult kOutOfMemory = 258;
constexpr MmResult kCannotOpen = 259;
constexpr MmResult kCannotClose = 260;
constexpr MmResult kCannotRead = 261;
constexpr MmResult kCannotWrite = 262;
constexpr MmResult kCannotSeek = 263;
constexpr MmResult kCannotExpand = 264;
constexpr MmResult kChunkNotFound = 265;
} // namespace mmresult

} // namespace cantrix
