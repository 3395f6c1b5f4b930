#pragma once
// Whole writes to a file descriptor, for the streams of the terminal mode.
#include <atomic>
#include <cstddef>

namespace cantrix {

// Writes all `count` bytes, resuming after partial writes, and after signals unless `giveUp` is
// set by then. False on an error or when it gave up (errno tells which: EINTR for the latter).
bool WriteAll(int descriptor, const void* data, std::size_t count, const std::atomic<bool>* giveUp = nullptr);

} // namespace cantrix
