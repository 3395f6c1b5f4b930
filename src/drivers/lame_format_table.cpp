#include "drivers/lame_format_table.h"

#include <array>
#include <cstring>

namespace cantrix {

namespace {
constexpr std::uint32_t kMinInputRate = 8000;
constexpr std::uint32_t kMaxInputRate = 192000;

// The Layer-3 sampling rates, ascending: MPEG-2.5 (8000 to 12000), MPEG-2 (16000 to 24000) and
// MPEG-1 (32000 to 48000).
constexpr std::array<std::uint32_t, 9> kMpegRates{8000,  11025, 12000, 16000, 22050,
                                                  24000, 32000, 44100, 48000};
constexpr std::uint32_t kLowestMpeg2Rate = 16000;
constexpr std::uint32_t kLowestMpeg1Rate = 32000;
constexpr std::uint32_t kHighestMpegRate = 48000;
// The MPEG-1 family bases a high input rate may be a multiple of, the preferred first.
constexpr std::array<std::uint32_t, 3> kFamilyBases{48000, 44100, 32000};

// The constant bit rates of each version, in kbit/s; MPEG-2.5 uses the MPEG-2 ones up to 64.
constexpr std::array<std::uint16_t, 14> kMpeg1Kbps{32,  40,  48,  56,  64,  80,  96,
                                                   112, 128, 160, 192, 224, 256, 320};
constexpr std::array<std::uint16_t, 14> kMpeg2Kbps{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
constexpr std::uint16_t kMpeg25MaxKbps = 64;

// A frame holds 1152 samples in MPEG-1 and 576 in MPEG-2 and 2.5, so its size without the padding
// byte is 1152 / 8 = 144 (or 72) times bit rate / sampling rate bytes.
constexpr std::uint32_t kMpeg1FrameFactor = 144;
constexpr std::uint32_t kMpeg2FrameFactor = 72;

constexpr std::uint32_t kBitsPerByte = 8;
constexpr std::uint32_t kBitsPerKbit = 1000;

bool IsMpegRate(std::uint32_t rate)
{
    for (const std::uint32_t mpegRate : kMpegRates) {
        if (mpegRate == rate)
            return true;
    }
    return false;
}

// The highest output rate offered for an input rate of the supported range: a high rate keeps the
// family it is a multiple of, any other rate the highest Layer-3 rate at or below it.
std::uint32_t FamilyBase(std::uint32_t inputRate)
{
    if (inputRate > kHighestMpegRate) {
        for (const std::uint32_t base : kFamilyBases) {
            if (inputRate % base == 0)
                return base;
        }
        return kHighestMpegRate;
    }
    std::uint32_t base = kMpegRates.front();
    for (const std::uint32_t rate : kMpegRates) {
        if (rate <= inputRate)
            base = rate;
    }
    return base;
}

void AppendRate(std::uint32_t rate, std::uint16_t channels, std::vector<LameOutputFormat>& formats)
{
    const bool mpeg1 = rate >= kLowestMpeg1Rate;
    const auto& kbpsList = mpeg1 ? kMpeg1Kbps : kMpeg2Kbps;
    const std::uint16_t maxKbps = rate >= kLowestMpeg2Rate ? kbpsList.back() : kMpeg25MaxKbps;
    for (const std::uint16_t kbps : kbpsList) {
        if (kbps <= maxKbps)
            formats.push_back({rate, channels, kbps});
    }
}
} // namespace

bool LameFormatTable::IsSupportedSource(const WAVEFORMATEX& source)
{
    if (source.wFormatTag != kWaveFormatPcm || (source.nChannels != 1 && source.nChannels != 2))
        return false;
    if (source.wBitsPerSample != 8 && source.wBitsPerSample != 16 && source.wBitsPerSample != 24 &&
        source.wBitsPerSample != 32)
        return false;
    if (source.nSamplesPerSec < kMinInputRate || source.nSamplesPerSec > kMaxInputRate)
        return false;
    return source.nBlockAlign == source.nChannels * source.wBitsPerSample / kBitsPerByte;
}

std::vector<LameOutputFormat> LameFormatTable::OutputFormats(const WAVEFORMATEX& source)
{
    std::vector<LameOutputFormat> formats;
    if (!IsSupportedSource(source))
        return formats;
    // The family: the base rate and those of its halves and quarters that are Layer-3 rates.
    std::uint32_t rate = FamilyBase(source.nSamplesPerSec);
    for (int step = 0; step < 3 && IsMpegRate(rate); ++step) {
        if (source.nChannels == 2)
            AppendRate(rate, 2, formats);
        AppendRate(rate, 1, formats);
        if (rate % 2 != 0)
            break;
        rate /= 2;
    }
    return formats;
}

std::optional<LameOutputFormat> LameFormatTable::Match(const WAVEFORMATEX& source,
                                                       const unsigned char* destination, std::size_t size)
{
    if (destination == nullptr || size < sizeof(MPEGLAYER3WAVEFORMAT))
        return std::nullopt;
    MPEGLAYER3WAVEFORMAT record;
    std::memcpy(&record, destination, sizeof record);
    const std::uint64_t bitsPerSec = std::uint64_t{record.wfx.nAvgBytesPerSec} * kBitsPerByte;
    if (record.wfx.wFormatTag != kWaveFormatMpegLayer3 || bitsPerSec % kBitsPerKbit != 0)
        return std::nullopt;
    const std::uint64_t kbps = bitsPerSec / kBitsPerKbit;
    for (const LameOutputFormat& format : OutputFormats(source)) {
        if (format.sampleRate == record.wfx.nSamplesPerSec && format.channels == record.wfx.nChannels &&
            format.kbps == kbps)
            return format;
    }
    return std::nullopt;
}

std::vector<OfferedFormat> LameFormatTable::Offer(const WAVEFORMATEX& source) const
{
    std::vector<OfferedFormat> offered;
    for (const LameOutputFormat& format : OutputFormats(source)) {
        const MPEGLAYER3WAVEFORMAT record = Record(format);
        OfferedFormat entry;
        entry.format.resize(sizeof record);
        std::memcpy(entry.format.data(), &record, sizeof record);
        entry.description = Description(format);
        offered.push_back(std::move(entry));
    }
    return offered;
}

MPEGLAYER3WAVEFORMAT LameFormatTable::Record(const LameOutputFormat& format) const
{
    const std::uint32_t bitsPerSec = std::uint32_t{format.kbps} * kBitsPerKbit;
    const std::uint32_t frameFactor =
        format.sampleRate >= kLowestMpeg1Rate ? kMpeg1FrameFactor : kMpeg2FrameFactor;
    MPEGLAYER3WAVEFORMAT record{};
    record.wfx.wFormatTag = kWaveFormatMpegLayer3;
    record.wfx.nChannels = format.channels;
    record.wfx.nSamplesPerSec = format.sampleRate;
    record.wfx.nAvgBytesPerSec = bitsPerSec / kBitsPerByte;
    record.wfx.nBlockAlign = 1;
    record.wfx.wBitsPerSample = 0;
    record.wfx.cbSize = kMpegLayer3CbSize;
    record.wID = kMpegLayer3IdMpeg;
    record.fdwFlags = kMpegLayer3FlagPaddingIso;
    record.nBlockSize = static_cast<std::uint16_t>(frameFactor * bitsPerSec / format.sampleRate);
    record.nFramesPerBlock = 1;
    record.nCodecDelay = encoderDelay;
    return record;
}

std::string LameFormatTable::Description(const LameOutputFormat& format)
{
    return std::to_string(format.kbps) + " kBit/s, " + std::to_string(format.sampleRate) + " Hz, " +
           (format.channels == 2 ? "Stereo" : "Mono");
}

} // namespace cantrix
