#include "drivers/layer3_frames.h"

#include <algorithm>
#include <array>

namespace cantrix {

namespace {
constexpr std::uint32_t kHeaderBytes = 4;
constexpr std::uint32_t kCrcBytes = 2;
constexpr std::uint32_t kSyncMask = 0xFFE00000;
constexpr std::uint32_t kLayer3Bits = 1; // the layer field's value for Layer III

// Indexed by the version field: 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1.
constexpr std::uint32_t kVersionMpeg1 = 3;
constexpr std::uint32_t kVersionReserved = 1;
constexpr std::array<std::uint32_t, 3> kMpeg1Rates{44100, 48000, 32000};
constexpr std::array<std::uint32_t, 15> kMpeg1Kbps{0,   32,  40,  48,  56,  64,  80, 96,
                                                   112, 128, 160, 192, 224, 256, 320};
constexpr std::array<std::uint32_t, 15> kMpeg2Kbps{0,  8,  16, 24,  32,  40,  48, 56,
                                                   64, 80, 96, 112, 128, 144, 160};
constexpr std::uint32_t kMonoMode = 3;

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

bool Layer3FrameIndex::Update(const std::vector<unsigned char>& stream)
{
    while (nextOffset + kHeaderBytes <= stream.size()) {
        const unsigned char* const bytes = stream.data() + nextOffset;
        const std::uint32_t header = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                     std::uint32_t{bytes[2]} << 8 | bytes[3];
        const std::uint32_t version = header >> 19 & 3;
        const std::uint32_t kbpsIndex = header >> 12 & 15;
        const std::uint32_t rateIndex = header >> 10 & 3;
        if ((header & kSyncMask) != kSyncMask || version == kVersionReserved ||
            (header >> 17 & 3) != kLayer3Bits || kbpsIndex == 0 || kbpsIndex == 15 || rateIndex == 3)
            return false;
        const bool mpeg1 = version == kVersionMpeg1;
        const std::uint32_t rate = kMpeg1Rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
        const std::uint32_t kbps = (mpeg1 ? kMpeg1Kbps : kMpeg2Kbps)[kbpsIndex];
        const int channels = (header >> 6 & 3) == kMonoMode ? 1 : 2;
        const bool crc = (header >> 16 & 1) == 0;

        Layer3Frame frame;
        frame.offset = nextOffset;
        frame.header = header;
        // 1152 samples a frame in MPEG-1 and 576 in MPEG-2 and 2.5, plus the padding byte.
        frame.length = (mpeg1 ? 144 : 72) * kbps * 1000 / rate + (header >> 9 & 1);
        const std::uint32_t sideBytes = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
        frame.sideEnd = kHeaderBytes + (crc ? kCrcBytes : 0) + sideBytes;
        if (frame.sideEnd > frame.length)
            return false;
        if (nextOffset + frame.length > stream.size())
            break; // the slot is not complete yet
        BitReader bits(bytes + kHeaderBytes + (crc ? kCrcBytes : 0));
        frame.mainDataBegin = bits.Read(mpeg1 ? 9 : 8);
        frame.dataBytes = (ReadGranules(bits, mpeg1, channels, frame) + 7) / 8;
        frame.mainOffset = nextMainOffset;
        if (frame.mainDataBegin > nextMainOffset || frame.DataEnd() > nextMainOffset + frame.MainCapacity() ||
            (!frames.empty() && frame.DataStart() < frames.back().DataEnd()))
            return false;
        frames.push_back(frame);
        nextOffset += frame.length;
        nextMainOffset += frame.MainCapacity();
    }
    return true;
}

std::uint64_t Layer3FrameIndex::FreeAfter(std::size_t frame) const
{
    return frames[frame].mainOffset + frames[frame].MainCapacity() - frames[frame].DataEnd();
}

std::size_t Layer3FrameIndex::StreamOffsetOfMain(std::uint64_t mainPosition) const
{
    const auto slot = std::upper_bound(frames.begin(), frames.end(), mainPosition,
                                       [](std::uint64_t position, const Layer3Frame& frame) {
                                           return position < frame.mainOffset;
                                       }) -
                      1;
    return slot->offset + slot->sideEnd + static_cast<std::size_t>(mainPosition - slot->mainOffset);
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
