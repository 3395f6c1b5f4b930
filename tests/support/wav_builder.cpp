#include "support/wav_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <stdexcept>

namespace cantrix::test {

void AppendU16(Bytes& bytes, std::uint16_t value)
{
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}

void AppendU32(Bytes& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

void AppendId(Bytes& bytes, const char* id)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<unsigned char>(id[i]));
}

Bytes ChunkWithSize(const char* id, std::uint32_t sizeField, const Bytes& payload)
{
    Bytes bytes;
    AppendId(bytes, id);
    AppendU32(bytes, sizeField);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    if (payload.size() % 2 != 0)
        bytes.push_back(0);
    return bytes;
}

Bytes Chunk(const char* id, const Bytes& payload)
{
    return ChunkWithSize(id, static_cast<std::uint32_t>(payload.size()), payload);
}

Bytes Riff(const char* formType, const Bytes& content)
{
    Bytes bytes;
    AppendId(bytes, "RIFF");
    AppendU32(bytes, static_cast<std::uint32_t>(content.size() + 4));
    AppendId(bytes, formType);
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

Bytes Rf64(const char* form, const Bytes& ds64, const Bytes& chunks)
{
    Bytes content = Chunk("ds64", ds64);
    content.insert(content.end(), chunks.begin(), chunks.end());
    Bytes file = Riff("WAVE", content);
    std::memcpy(file.data(), form, 4);
    std::fill_n(file.begin() + 4, 4, 0xFF);
    return file;
}

Bytes U64(std::uint64_t value)
{
    Bytes bytes;
    AppendU32(bytes, static_cast<std::uint32_t>(value));
    AppendU32(bytes, static_cast<std::uint32_t>(value >> 32));
    return bytes;
}

Bytes PcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t tag,
                const Bytes& extra)
{
    Bytes bytes;
    const auto blockAlign = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    AppendU16(bytes, tag);
    AppendU16(bytes, channels);
    AppendU32(bytes, rate);
    AppendU32(bytes, rate * blockAlign);
    AppendU16(bytes, blockAlign);
    AppendU16(bytes, bits);
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    return bytes;
}

Bytes Extension(std::uint16_t cbSize, std::uint16_t validBits, const Bytes& subFormat)
{
    Bytes bytes;
    AppendU16(bytes, cbSize);
    AppendU16(bytes, validBits);
    AppendU32(bytes, 0x3);
    bytes.insert(bytes.end(), subFormat.begin(), subFormat.end());
    return bytes;
}

Bytes SineSamples16(std::uint32_t rate, std::uint16_t channels, double seconds, double hz)
{
    Bytes bytes;
    const auto frames = static_cast<std::size_t>(rate * seconds);
    for (std::size_t i = 0; i < frames; ++i) {
        const double value = 0.5 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
        const auto sample = static_cast<std::int16_t>(value * 32767.0);
        for (std::uint16_t c = 0; c < channels; ++c)
            AppendU16(bytes, static_cast<std::uint16_t>(sample));
    }
    return bytes;
}

void AppendSample(Bytes& pcm, std::uint16_t bits, double value)
{
    if (bits == 8) {
        pcm.push_back(static_cast<unsigned char>(std::lround(128 + value * 127)));
        return;
    }
    const double scale = std::ldexp(1.0, bits - 1) - 1;
    const auto sample = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * scale)));
    for (int byte = 0; byte < bits / 8; ++byte)
        pcm.push_back(static_cast<unsigned char>(sample >> (8 * byte)));
}

void AppendSample(Bytes& pcm, const WAVEFORMATEX& format, double value)
{
    if (format.wFormatTag != kWaveFormatIeeeFloat) {
        AppendSample(pcm, format.wBitsPerSample, value);
        return;
    }
    unsigned char bytes[sizeof(double)];
    const float single = static_cast<float>(value);
    if (format.wBitsPerSample == 32)
        std::memcpy(bytes, &single, sizeof single);
    else
        std::memcpy(bytes, &value, sizeof value);
    pcm.insert(pcm.end(), bytes, bytes + format.wBitsPerSample / 8);
}

WAVEFORMATEX PcmRecord(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<std::uint16_t>(channels * (bits / 8));
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

Bytes Wav(const Bytes& format, const Bytes& samples)
{
    Bytes content = Chunk("fmt ", format);
    const Bytes data = Chunk("data", samples);
    content.insert(content.end(), data.begin(), data.end());
    return Riff("WAVE", content);
}

Bytes PcmWav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, const Bytes& samples)
{
    return Wav(PcmFormat(channels, rate, bits), samples);
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t ReadU32(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes.at(offset)) |
           (static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8) |
           (static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16) |
           (static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24);
}

std::uint16_t ReadU16(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

TempDir::TempDir()
{
    std::random_device random;
    path = std::filesystem::temp_directory_path() / ("cantrix-test-" + std::to_string(random()));
    std::filesystem::create_directories(path);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path, ignored);
}

} // namespace cantrix::test
