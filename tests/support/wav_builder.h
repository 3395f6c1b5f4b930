#pragma once
// Builds WAV files byte by byte, so tests can make any valid or broken input.
#include "platform/wave_format.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cantrix::test {

using Bytes = std::vector<unsigned char>;

void AppendU16(Bytes& bytes, std::uint16_t value);
void AppendU32(Bytes& bytes, std::uint32_t value);
void AppendId(Bytes& bytes, const char* id);

// A chunk: id, size field (the payload's size unless `sizeField` is given), payload, pad byte.
Bytes Chunk(const char* id, const Bytes& payload);
Bytes ChunkWithSize(const char* id, std::uint32_t sizeField, const Bytes& payload);
// "RIFF", size of form type + content, form type, content.
Bytes Riff(const char* formType, const Bytes& content);
// An RF64 or BW64 (`form`) "WAVE" file: a "ds64" chunk with `ds64` (form size, data size, sample
// count, table), then `chunks`; the form's size field says 0xFFFFFFFF.
Bytes Rf64(const char* form, const Bytes& ds64, const Bytes& chunks);
// `value` as 8 little-endian bytes.
Bytes U64(std::uint64_t value);
// A "fmt " payload of 16 bytes (plus `extra` bytes when given).
Bytes PcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t tag = 1,
                const Bytes& extra = {});
// The extension of a WAVE_FORMAT_EXTENSIBLE "fmt " (front left and right), for PcmFormat's `extra`.
Bytes Extension(std::uint16_t cbSize, std::uint16_t validBits, const Bytes& subFormat);
// 16-bit samples of a sine of `hz` at `rate`, interleaved over `channels`.
Bytes SineSamples16(std::uint32_t rate, std::uint16_t channels, double seconds, double hz = 440.0);
// One sample of `value` (-1 to 1) in integer PCM of `bits`: 8-bit unsigned, wider signed
// little-endian.
void AppendSample(Bytes& pcm, std::uint16_t bits, double value);
// One sample of `value` in the samples of `format`: integer PCM as above, IEEE float (tag 3) as a
// float of its width.
void AppendSample(Bytes& pcm, const WAVEFORMATEX& format, double value);
// The WAVEFORMATEX of integer PCM.
WAVEFORMATEX PcmRecord(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);
// A whole WAV file of a "fmt " payload and samples; PcmWav with a PcmFormat.
Bytes Wav(const Bytes& format, const Bytes& samples);
Bytes PcmWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, const Bytes& samples);

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);
std::uint32_t ReadU32(const Bytes& bytes, std::size_t offset);
std::uint16_t ReadU16(const Bytes& bytes, std::size_t offset);

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path; }
    std::string File(const std::string& name) const { return (path / name).string(); }

private:
    std::filesystem::path path;
};

} // namespace cantrix::test
