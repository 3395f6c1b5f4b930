#include "drivers/layer3_tally.h"

#include "drivers/layer3_geometry.h"

#include <algorithm>
#include <cmath>

namespace cantrix {

namespace {
constexpr std::uint16_t kCrc16Reflected = 0xA001; // 0x8005 with its bits reversed
constexpr int kBitsPerByte = 8;
constexpr int kMaxSeekPoint = 255;
constexpr double kSeekScale = 256.0;
} // namespace

std::uint16_t Crc16(std::uint16_t crc, const unsigned char* bytes, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < kBitsPerByte; ++bit)
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>(crc >> 1 ^ kCrc16Reflected) : crc >> 1;
    }
    return crc;
}

void Layer3Tally::Add(const unsigned char* data, std::size_t size)
{
    crc = Crc16(crc, data, size);
    const std::uint64_t base = bytes;
    const std::uint64_t end = base + size;
    while (bytes < end) {
        if (bytes == frameEnd) {
            frameStart = bytes;
            frameEnd = bytes + layer3::SlotBytes(format.sampleRate, format.kbps,
                                                 layer3::Padded(format.sampleRate, format.kbps, frames));
            header = 0;
        }
        for (; bytes < end && bytes < frameStart + layer3::kHeaderBytes; ++bytes)
            header = header << kBitsPerByte | data[bytes - base];
        bytes = std::min(end, frameEnd);
        if (bytes == frameEnd) {
            lastHeader = header;
            ++frames;
            SampleFrame();
        }
    }
}

void Layer3Tally::SampleFrame()
{
    sum += format.kbps;
    if (++seen < want)
        return;
    if (sampled < kSamples) {
        samples[sampled++] = sum;
        seen = 0;
    }
    if (sampled == kSamples) {
        for (std::size_t i = 1; i < kSamples; i += 2)
            samples[i / 2] = samples[i];
        want *= 2;
        sampled /= 2;
    }
}

std::array<std::uint8_t, Layer3Tally::kSeekEntries> Layer3Tally::SeekTable() const
{
    std::array<std::uint8_t, kSeekEntries> table{};
    if (sampled == 0)
        return table;
    // In single precision where LAME computes in it, so that the entries come out as in its tags.
    const auto total = static_cast<float>(sum);
    for (std::size_t i = 1; i < kSeekEntries; ++i) {
        const float share = static_cast<float>(i) / static_cast<float>(kSeekEntries);
        const auto index =
            std::min(static_cast<std::size_t>(std::floor(share * static_cast<float>(sampled))), sampled - 1);
        const auto reached = static_cast<float>(samples[index]);
        table[i] = static_cast<std::uint8_t>(
            std::min(static_cast<int>(kSeekScale * reached / total), kMaxSeekPoint));
    }
    return table;
}

} // namespace cantrix
