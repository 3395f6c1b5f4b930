#pragma once
// What a constant bit rate Layer-3 stream has given out, followed as its bytes pass in pieces of
// any size: its whole frames, its bytes and their CRC, the header of its last frame and the seek
// table LAME keeps for its tag frame. The frames lie on the grid of the stream's format
// (layer3_geometry.h), which every frame is checked against before the driver gives it out, so
// the tally follows that grid instead of searching for headers.
#include "drivers/lame_output_formats.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace cantrix {

// CRC-16 with the polynomial 0x8005, bits taken least significant first, as LAME's tag uses it
// for the music and for the tag itself; start with 0.
std::uint16_t Crc16(std::uint16_t crc, const unsigned char* bytes, std::size_t size);

class Layer3Tally {
public:
    explicit Layer3Tally(const LameOutputFormat& format) : format(format) {}

    void Add(const unsigned char* bytes, std::size_t size);

    std::uint64_t Frames() const { return frames; }
    std::uint64_t Bytes() const { return bytes; }
    std::uint16_t Crc() const { return crc; }
    // The header of the last whole frame, big-endian as it stands in the stream; 0 before the first.
    std::uint32_t LastHeader() const { return lastHeader; }

    static constexpr std::size_t kSeekEntries = 100;
    // Entry i: where i percent of the frames end, in 256ths of the stream, as LAME works it out
    // from the bit rates of the frames it sampled.
    std::array<std::uint8_t, kSeekEntries> SeekTable() const;

private:
    void SampleFrame();

    const LameOutputFormat format;
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::uint16_t crc = 0;
    std::uint64_t frameStart = 0; // the frame being passed
    std::uint64_t frameEnd = 0;
    std::uint32_t header = 0; // its header bytes read so far
    std::uint32_t lastHeader = 0;

    // LAME's sample of the running bit rate sum: one entry every `want` frames; when the table
    // is full every other entry is dropped and the step doubles.
    static constexpr std::size_t kSamples = 400;
    std::array<std::uint64_t, kSamples> samples{};
    std::size_t sampled = 0;
    std::uint64_t want = 1;
    std::uint64_t seen = 0;
    std::uint64_t sum = 0;
};

} // namespace cantrix
