#include "drivers/layer3_frames.h"

#include "drivers/layer3_geometry.h"

#include <algorithm>
#include <array>

namespace cantrix {

namespace {
constexpr std::uint32_t kSyncMask = 0xFFE00000;
constexpr std::uint32_t kLayer3Bits = 1; // the layer field's value for Layer III

constexpr std::uint32_t kVersionReserved = 1;

// Reads the side information's bit fields, most significant bit first.
class BitReader {
public:
    explicit BitReader(const unsigned char* bytes) : bytes(bytes) {}
    std::uint32_t Read(int count)
    {
        std::uint32_t value = 0;
        for (; count > 0; --count, ++position)
            value = value << 1 | ((bytes[position / 8] >> (7 - position % 8)) & 1u);
        return value;
    }

private:
    const unsigned char* bytes;
    std::size_t position = 0;
};

// The side information after main_data_begin: the private bits, scfsi and each granule's fields.
// Returns the sum of part2_3_length and fills in the edge block types.
std::uint32_t ReadGranules(BitReader& bits, bool mpeg1, int channels, Layer3Frame& frame)
{
    bits.Read(mpeg1 ? (channels == 1 ? 5 : 3) : channels); // private bits
    if (mpeg1)
        bits.Read(4 * channels); // scfsi
    const int granules = mpeg1 ? 2 : 1;
    std::uint32_t dataBits = 0;
    for (int granule = 0; granule < granules; ++granule) {
        for (int channel = 0; channel < channels; ++channel) {
            dataBits += bits.Read(12); // part2_3_length
            bits.Read(9 + 8);          // big_values, global_gain
            bits.Read(mpeg1 ? 4 : 9);  // scalefac_compress
            std::uint8_t blockType = 0;
            if (bits.Read(1) != 0) { // window switching
                blockType = static_cast<std::uint8_t>(bits.Read(2));
                bits.Read(1 + 2 * 5 + 3 * 3); // mixed block, table selects, subblock gains
            } else {
                bits.Read(3 * 5 + 4 + 3); // table selects, region counts
            }
            bits.Read(mpeg1 ? 3 : 2); // preflag (MPEG-1 only), scalefac_scale, count1table_select
            if (granule == 0)
                frame.firstBlockType[channel] = blockType;
            frame.lastBlockType[channel] = blockType;
        }
    }
    if (channels == 1) {
        frame.firstBlockType[1] = frame.firstBlockType[0];
        frame.lastBlockType[1] = frame.lastBlockType[0];
    }
    return dataBits;
}
} // namespace

FrameRead ReadLayer3Frame(const unsigned char* bytes, std::size_t available, Layer3Frame& frame)
{
    if (available < layer3::kHeaderBytes)
        return FrameRead::Incomplete;
    const std::uint32_t header = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                 std::uint32_t{bytes[2]} << 8 | bytes[3];
    const std::uint32_t version = header >> 19 & 3;
    const std::uint32_t kbpsIndex = header >> 12 & 15;
    const std::uint32_t rateIndex = header >> 10 & 3;
    if ((header & kSyncMask) != kSyncMask || version == kVersionReserved ||
        (header >> 17 & 3) != kLayer3Bits || kbpsIndex == 0 || kbpsIndex == 15 || rateIndex == 3)
        return FrameRead::Malformed;
    const bool mpeg1 = version == layer3::kVersionMpeg1;
    const std::uint32_t rate =
        layer3::kMpeg1RatesByIndex[rateIndex] >> (mpeg1                              ? 0
                                                  : version == layer3::kVersionMpeg2 ? 1
                                                                                     : 2);
    const std::uint32_t kbps = (mpeg1 ? layer3::kMpeg1KbpsByIndex : layer3::kMpeg2KbpsByIndex)[kbpsIndex];
    const int channels = (header >> 6 & 3) == layer3::kModeMono ? 1 : 2;
    const bool crc = (header >> 16 & 1) == 0;

    frame.header = header;
    frame.length = layer3::SlotBytes(rate, kbps, (header >> 9 & 1) != 0);
    frame.sideEnd =
        layer3::kHeaderBytes + (crc ? layer3::kCrcBytes : 0) + layer3::SideInfoBytes(mpeg1, channels);
    if (frame.sideEnd > frame.length)
        return FrameRead::Malformed;
    if (frame.length > available)
        return FrameRead::Incomplete;
    BitReader bits(bytes + layer3::kHeaderBytes + (crc ? layer3::kCrcBytes : 0));
    frame.mainDataBegin = bits.Read(mpeg1 ? 9 : 8);
    frame.dataBytes = (ReadGranules(bits, mpeg1, channels, frame) + 7) / 8;
    return FrameRead::Complete;
}

bool MainDataFits(const Layer3Frame& frame, std::uint64_t previousDataEnd)
{
    return frame.mainDataBegin <= frame.mainOffset && frame.DataStart() >= previousDataEnd &&
           frame.DataEnd() <= frame.mainOffset + frame.MainCapacity();
}

bool Layer3Stream::Index()
{
    for (;;) {
        Layer3Frame frame;
        const std::uint64_t at = nextOffset - byteBegin;
        const FrameRead read = at <= bytes.size()
                                   ? ReadLayer3Frame(bytes.data() + at, bytes.size() - at, frame)
                                   : FrameRead::Incomplete;
        if (read == FrameRead::Incomplete)
            return true;
        frame.offset = nextOffset;
        frame.mainOffset = nextMainOffset;
        if (read == FrameRead::Malformed || !MainDataFits(frame, lastDataEnd))
            return false;
        frames.push_back(frame);
        nextOffset += frame.length;
        nextMainOffset += frame.MainCapacity();
        lastDataEnd = frame.DataEnd();
    }
}

std::uint64_t Layer3Stream::FreeAfter(std::uint64_t frame) const
{
    const Layer3Frame& slot = Frame(frame);
    return slot.mainOffset + slot.MainCapacity() - slot.DataEnd();
}

std::uint64_t Layer3Stream::StreamOffsetOfMain(std::uint64_t mainPosition) const
{
    const auto slot = std::upper_bound(frames.begin(), frames.end(), mainPosition,
                                       [](std::uint64_t position, const Layer3Frame& frame) {
                                           return position < frame.mainOffset;
                                       }) -
                      1;
    return slot->offset + slot->sideEnd + (mainPosition - slot->mainOffset);
}

void Layer3Stream::DropBefore(std::uint64_t frame)
{
    const std::uint64_t keepFrom = FrameOffset(frame);
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(frame - frameBegin));
    frameBegin = frame;
    // The bytes go once they are the larger part, so that dropping stays cheap on a long stream.
    const std::uint64_t dropped = keepFrom - byteBegin;
    if (dropped * 2 >= bytes.size()) {
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(dropped));
        byteBegin = keepFrom;
    }
}

bool BlockTypesJoin(std::uint8_t previous, std::uint8_t next)
{
    // Normal and stop windows end long, start and short ones end short; normal and start windows
    // begin long, short and stop ones begin short.
    const bool previousEndsShort = previous == 1 || previous == 2;
    const bool nextBeginsShort = next == 2 || next == 3;
    return previousEndsShort == nextBeginsShort;
}

} // namespace cantrix
