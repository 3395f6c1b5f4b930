#pragma once
// Reading the frames of a Layer-3 stream: where each frame's slot lies, where its main data starts
// and ends, and the block types at its edges. The segmented encoder reads them to join streams of
// different encoders and to check what it gives out; it never changes a header or side information.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace cantrix {

struct Layer3Frame {
    std::uint64_t offset = 0;        // of the header in the stream
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

enum class FrameRead { Complete, Incomplete, Malformed };

// Reads the frame whose header starts `bytes` (`available` bytes readable): its header, slot and
// side information, filling every field but `offset` and `mainOffset`.
FrameRead ReadLayer3Frame(const unsigned char* bytes, std::size_t available, Layer3Frame& frame);

// Whether `frame`, placed after main data position `mainOffset` (its own `mainOffset`) behind a frame
// whose data ends at `previousDataEnd`, keeps its main data within the bytes before and in its slot,
// after the previous frame's.
bool MainDataFits(const Layer3Frame& frame, std::uint64_t previousDataEnd);

// A Layer-3 stream as an encoder writes it, indexed as it grows. Bytes are counted from the
// stream's start and frames from `firstFrame`; the front that is no longer needed can be dropped,
// so that a long stream holds only what is still to be given out.
class Layer3Stream {
public:
    explicit Layer3Stream(std::uint64_t firstFrame = 0) : frameBegin(firstFrame) {}

    // The held bytes, from byte ByteBegin() of the stream on; an encoder appends to them.
    std::vector<unsigned char>& Bytes() { return bytes; }
    const std::vector<unsigned char>& Bytes() const { return bytes; }
    std::uint64_t ByteBegin() const { return byteBegin; }
    std::uint64_t ByteEnd() const { return byteBegin + bytes.size(); }
    const unsigned char* At(std::uint64_t offset) const { return bytes.data() + (offset - byteBegin); }

    // Indexes the complete frames appended since the last call; false when a frame is malformed or
    // its main data does not lie where its main_data_begin says (the stream is then not ours to join).
    bool Index();
    // The first frame still held, and the one after the last indexed.
    std::uint64_t FrameBegin() const { return frameBegin; }
    std::uint64_t FrameEnd() const { return frameBegin + frames.size(); }
    const Layer3Frame& Frame(std::uint64_t frame) const { return frames[frame - frameBegin]; }
    // Where `frame`'s header starts, FrameEnd() included.
    std::uint64_t FrameOffset(std::uint64_t frame) const
    {
        return frame < FrameEnd() ? Frame(frame).offset : nextOffset;
    }

    // Main data bytes at the end of `frame`'s slot that neither it nor a frame before it uses.
    std::uint64_t FreeAfter(std::uint64_t frame) const;
    // The stream offset of the main data byte at `mainPosition`, which must lie in a held slot.
    std::uint64_t StreamOffsetOfMain(std::uint64_t mainPosition) const;

    // Forgets the frames before `frame` (at most FrameEnd()) and their bytes.
    void DropBefore(std::uint64_t frame);

private:
    std::vector<unsigned char> bytes;
    std::uint64_t byteBegin = 0;
    std::deque<Layer3Frame> frames;
    std::uint64_t frameBegin = 0;
    std::uint64_t nextOffset = 0;
    std::uint64_t nextMainOffset = 0;
    std::uint64_t lastDataEnd = 0;
};

// Whether a granule of block type `next` may follow one of type `previous` in a channel: the
// window halves that overlap must have the same shape.
bool BlockTypesJoin(std::uint8_t previous, std::uint8_t next);

} // namespace cantrix
