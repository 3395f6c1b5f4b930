#pragma once
// Whole writes to a file descriptor, for the streams of the terminal mode.
#include <cstddef>

namespace cantrix {

// Writes all `count` bytes, resuming after signals and partial writes. False on an error (errno
// tells which).
bool WriteAll(int descriptor, const void* data, std::size_t count);

} // namespace cantrix
