#include "drivers/lame_info_tag.h"

#include "drivers/lame_encoder.h"
#include "drivers/lame_pcm_encoder.h"

#include <algorithm>
#include <cstring>
#include <lame/lame.h>
#include <limits>

namespace cantrix {

namespace {
// Offsets from "Info": the Xing fields, then LAME's extension.
constexpr std::uint32_t kFramesAt = 8;
constexpr std::uint32_t kBytesAt = 12;
constexpr std::uint32_t kSeekTableAt = 16;
constexpr std::uint32_t kExtensionAt = 120;
// Offsets within LAME's extension.
constexpr std::uint32_t kLowpassAt = 10;
constexpr std::uint32_t kBitrateAt = 20;
constexpr std::uint32_t kDelayPaddingAt = 21;
constexpr std::uint32_t kPresetAt = 26;
constexpr std::uint32_t kMusicLengthAt = 28;
constexpr std::uint32_t kMusicCrcAt = 32;
constexpr std::uint32_t kTagCrcAt = 34;

constexpr char kInfo[] = {'I', 'n', 'f', 'o'};
// The last byte of the header holds the mode extension, which LAME writes as its last frame had it.
constexpr std::uint32_t kModeExtensionByte = 3;
constexpr unsigned char kModeExtensionBits = layer3::kModeExtensionBits;
// Delay and padding share three bytes, twelve bits each.
constexpr std::uint64_t kTwelveBits = 0xFFF;
// A decoder completes the last samples of a frame only with the next frame (its synthesis lags
// 529 samples), so a stream that stops without its end holds that many it cannot give back. An
// ended stream is padded by more: LAME pads at least 576.
constexpr std::uint64_t kUnendedPadding = 529;
constexpr std::uint32_t kLowpassUnit = 100;
constexpr std::uint32_t kMaxByteField = 255;

void PutBigEndian(std::vector<unsigned char>& bytes, std::size_t at, std::uint64_t value, int size)
{
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value);
}

std::uint32_t Clamp32(std::uint64_t value)
{
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

// LAME's tag frame for `settings`, from the frames of an empty stream (LAME writes its tag once it
// has encoded a frame, and a flush always encodes one).
MmResult LameTagFrame(const LameEncoderSettings& settings, std::uint32_t frameBytes,
                      std::vector<unsigned char>& frame)
{
    std::unique_ptr<LameEncoder> lame;
    if (const MmResult opened = LameEncoder::Open(settings, lame, true); opened != mmresult::kNoError)
        return opened;
    std::vector<unsigned char> flushed(LamePcmEncoder::kFlushBound);
    if (lame_encode_flush(lame->Get(), flushed.data(), static_cast<int>(flushed.size())) < 0)
        return mmresult::kNotPossible;
    frame.assign(frameBytes, 0);
    return lame_get_lametag_frame(lame->Get(), frame.data(), frame.size()) == frameBytes
               ? mmresult::kNoError
               : mmresult::kNotPossible;
}
} // namespace

MmResult LameInfoTag::Make(const WAVEFORMATEX& source, const LameOutputFormat& output,
                           std::optional<LameInfoTag>& tag)
{
    tag.reset();
    const std::uint16_t tagKbps = TagKbps(output);
    LameEncoderSettings settings{source.nSamplesPerSec, source.nChannels, output.sampleRate, output.channels,
                                 tagKbps};
    std::vector<unsigned char> frame;
    if (const MmResult made =
            LameTagFrame(settings, layer3::SlotBytes(output.sampleRate, tagKbps, false), frame);
        made != mmresult::kNoError)
        return made;
    const std::uint32_t tagAt =
        layer3::kHeaderBytes + layer3::SideInfoBytes(layer3::IsMpeg1(output.sampleRate), output.channels);
    if (std::memcmp(frame.data() + tagAt, kInfo, sizeof kInfo) != 0)
        return mmresult::kNotPossible;

    if (tagKbps != output.kbps) {
        // LAME's frame is for another bit rate: the fields that follow the bit rate are the
        // stream's own. LAME records a constant bit rate as its preset too.
        settings.kbps = output.kbps;
        std::unique_ptr<LameEncoder> lame;
        if (const MmResult opened = LameEncoder::Open(settings, lame); opened != mmresult::kNoError)
            return opened;
        const std::uint32_t extension = tagAt + kExtensionAt;
        const double lowpass = lame_get_lowpassfreq(lame->Get()) / static_cast<double>(kLowpassUnit) + 0.5;
        frame[extension + kLowpassAt] =
            static_cast<unsigned char>(std::min<double>(lowpass, static_cast<double>(kMaxByteField)));
        frame[extension + kBitrateAt] =
            static_cast<unsigned char>(std::min<std::uint32_t>(output.kbps, kMaxByteField));
        PutBigEndian(frame, extension + kPresetAt, output.kbps, 2);
    }
    tag = LameInfoTag(std::move(frame), tagAt, layer3::FrameSamples(output.sampleRate));
    return mmresult::kNoError;
}

std::vector<unsigned char> LameInfoTag::Placeholder() const
{
    std::vector<unsigned char> frame(lameFrame.size(), 0);
    std::copy_n(lameFrame.begin(), layer3::kHeaderBytes, frame.begin());
    frame[kModeExtensionByte] &= static_cast<unsigned char>(~kModeExtensionBits);
    return frame;
}

std::vector<unsigned char> LameInfoTag::Frame(const Layer3Tally& given, std::uint16_t delay,
                                              std::optional<std::uint64_t> samples) const
{
    std::vector<unsigned char> frame = lameFrame;
    frame[kModeExtensionByte] = static_cast<unsigned char>((frame[kModeExtensionByte] & ~kModeExtensionBits) |
                                                           (given.LastHeader() & kModeExtensionBits));
    // The counts are of the frames after the tag; the bytes and the music length include it.
    const std::uint64_t streamBytes = given.Bytes() + frame.size();
    PutBigEndian(frame, tagAt + kFramesAt, Clamp32(given.Frames()), 4);
    PutBigEndian(frame, tagAt + kBytesAt, Clamp32(streamBytes), 4);
    const auto seekTable = given.SeekTable();
    std::copy(seekTable.begin(), seekTable.end(), frame.begin() + tagAt + kSeekTableAt);

    // Decoders play the frames' samples less the delay at the front and the padding at the end.
    std::uint64_t padding = kUnendedPadding;
    if (samples) {
        const std::uint64_t held = given.Frames() * frameSamples;
        padding = held > delay + *samples ? std::min(held - delay - *samples, kTwelveBits) : 0;
    }
    const std::uint32_t extension = tagAt + kExtensionAt;
    PutBigEndian(frame, extension + kDelayPaddingAt,
                 std::min<std::uint64_t>(delay, kTwelveBits) << 12 | padding, 3);
    PutBigEndian(frame, extension + kMusicLengthAt, Clamp32(streamBytes), 4);
    PutBigEndian(frame, extension + kMusicCrcAt, given.Crc(), 2);
    PutBigEndian(frame, extension + kTagCrcAt, Crc16(0, frame.data(), extension + kTagCrcAt), 2);
    return frame;
}

} // namespace cantrix
