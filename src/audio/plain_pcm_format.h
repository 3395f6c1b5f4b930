#pragma once
// Whether the start of a "fmt " chunk describes plain PCM: integer samples (tag 1) or IEEE float
// samples of 32 or 64 bits (tag 3), or WAVE_FORMAT_EXTENSIBLE with either sub-format, which today's
// tools write for wide samples, many channels and high rates.
#include "platform/wave_format.h"

#include <cstddef>
#include <cstdint>

namespace cantrix {

// As much of the "fmt " payload as the decision needs.
constexpr std::size_t kFormatBytesToRead = sizeof(WAVEFORMATEXTENSIBLE);

// `bytes` holds the first `count` bytes of a "fmt " payload (all of it, up to kFormatBytesToRead)
// and `chunkSize` is the chunk's declared size. `pcm` receives the first 16 bytes, zeros where
// the chunk holds none, and cbSize 0; for plain PCM it is then the 18-byte record of tag 1, or of
// tag 3 for float samples.
bool DescribePlainPcm(const unsigned char* bytes, std::size_t count, std::uint64_t chunkSize,
                      WAVEFORMATEX& pcm);

} // namespace cantrix
