#pragma once
// An index of the frames of a Layer-3 stream as it grows: where each frame's slot lies, where its
// main data starts and ends, and the block types at its edges. The segmented encoder reads it to
// join streams of different encoders; it never changes a header or side information.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cantrix {

struct Layer3Frame {
    std::size_t offset = 0;          // of the header in the stream
    std::uint32_t length = 0;        // header to the next header
    std::uint32_t sideEnd = 0;       // header, CRC and side information; main data follows
    std::uint32_t header = 0;        // the four header bytes, big-endian
    std::uint32_t mainDataBegin = 0; // bytes of main data before this slot that belong to this frame
    std::uint32_t dataBytes = 0;     // its part 2 and 3 data, rounded up to whole bytes
    std::uint64_t mainOffset = 0;    // main data bytes of all slots before this one
    // Block types of each channel's first and last granule (0 normal, 1 start, 2 short, 3 stop);
    // mono frames repeat the one channel.
    std::uint8_t firstBlockType[2] = {0, 0};
    std::uint8_t lastBlockType[2] = {0, 0};

    std::uint32_t MainCapacity() const { return length - sideEnd; }
    // Where this frame's data starts and ends, in main data bytes.
    std::uint64_t DataStart() const { return mainOffset - mainDataBegin; }
    std::uint64_t DataEnd() const { return DataStart() + dataBytes; }
};

class Layer3FrameIndex {
public:
    // Indexes the complete frames that `stream` holds beyond those already indexed; false when a
    // frame is malformed (the stream is then not ours to join).
    bool Update(const std::vector<unsigned char>& stream);
    const std::vector<Layer3Frame>& Frames() const { return frames; }

    // Main data bytes at the end of `frame`'s slot that neither it nor a frame before it uses.
    std::uint64_t FreeAfter(std::size_t frame) const;
    // The stream offset of the main data byte at `mainPosition`, which must lie in an indexed slot.
    std::size_t StreamOffsetOfMain(std::uint64_t mainPosition) const;

private:
    std::vector<Layer3Frame> frames;
    std::size_t nextOffset = 0;
    std::uint64_t nextMainOffset = 0;
};

// Whether a granule of block type `next` may follow one of type `previous` in a channel: the
// window halves that overlap must have the same shape.
bool BlockTypesJoin(std::uint8_t previous, std::uint8_t next);

} // namespace cantrix
