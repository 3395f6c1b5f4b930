#include "drivers/lame_format_table.h"

#include <array>
#include <cstring>

namespace cantrix {

namespace {
// Below the lowest Layer-3 rate LAME resamples up to it; below this, its resampler no longer keeps
// the length.
constexpr std::uint32_t kMinInputRate = 1000;
constexpr std::uint32_t kMaxInputRate = 192000;

constexpr std::uint32_t kHighestMpegRate = 48000;
// The MPEG-1 family bases a high input rate may be a multiple of, the preferred first.
constexpr std::array<std::uint32_t, 3> kFamilyBases{48000, 44100, 32000};

constexpr std::uint32_t kBitsPerByte = 8;
constexpr std::uint32_t kBitsPerKbit = 1000;

bool IsMpegRate(std::uint32_t rate)
{
    for (const std::uint32_t mpegRate : lame_outputs::kRates) {
        if (mpegRate == rate)
            return true;
    }
    return false;
}

// The base of the family offered for an input rate of the supported range: a high rate keeps the
// family it is a multiple of, any other rate the highest Layer-3 rate at or below it (below the
// lowest: the lowest, which RateAbove offers already).
std::uint32_t FamilyBase(std::uint32_t inputRate)
{
    if (inputRate > kHighestMpegRate) {
        for (const std::uint32_t base : kFamilyBases) {
            if (inputRate % base == 0)
                return base;
        }
        return kHighestMpegRate;
    }
    std::uint32_t base = lame_outputs::kRates.front();
    for (const std::uint32_t rate : lame_outputs::kRates) {
        if (rate <= inputRate)
            base = rate;
    }
    return base;
}

// The stereo formats of `rate` for a stereo input, then the mono ones.
void AppendRate(std::uint32_t rate, std::uint16_t inputChannels, std::vector<LameOutputFormat>& formats)
{
    for (std::uint16_t channels = inputChannels; channels >= 1; --channels) {
        for (const std::uint32_t kbps : lame_outputs::KbpsOf(rate)) {
            if (lame_outputs::Offered(rate, kbps))
                formats.push_back({rate, channels, static_cast<std::uint16_t>(kbps)});
        }
    }
}

// The nearest Layer-3 rate above an input rate that lies between two of them (or below the lowest),
// resampled up by LAME; 0 for an input at a Layer-3 rate or above the highest.
std::uint32_t RateAbove(std::uint32_t inputRate)
{
    if (IsMpegRate(inputRate))
        return 0;
    for (const std::uint32_t rate : lame_outputs::kRates) {
        if (rate > inputRate)
            return rate;
    }
    return 0;
}

bool IsSampleWidth(const WAVEFORMATEX& source)
{
    const std::uint16_t bits = source.wBitsPerSample;
    if (source.wFormatTag == kWaveFormatIeeeFloat)
        return bits == 32 || bits == 64;
    return source.wFormatTag == kWaveFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}
} // namespace

bool LameFormatTable::IsSupportedSource(const WAVEFORMATEX& source)
{
    if (!IsSampleWidth(source) || (source.nChannels != 1 && source.nChannels != 2))
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
    // A rate between two Layer-3 rates gets the one above it too, so that nothing above the
    // input's bandwidth is lost to the choice of the family below.
    if (const std::uint32_t above = RateAbove(source.nSamplesPerSec); above != 0)
        AppendRate(above, source.nChannels, formats);
    // The family: the base rate and those of its halves and quarters that are Layer-3 rates.
    std::uint32_t rate = FamilyBase(source.nSamplesPerSec);
    for (int step = 0; step < 3 && IsMpegRate(rate) && rate <= source.nSamplesPerSec; ++step) {
        AppendRate(rate, source.nChannels, formats);
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
    record.nBlockSize = static_cast<std::uint16_t>(layer3::SlotBytes(format.sampleRate, format.kbps, false));
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
