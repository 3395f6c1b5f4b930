#include "support/fake_codec_driver.h"

#include <algorithm>
#include <cstring>

namespace cantrix::test {

namespace {
class FakeStream : public CodecStream {
public:
    FakeStream(const FakeDriverConfig& config, std::uint16_t blockAlign)
        : config(config), blockAlign(blockAlign)
    {
    }

    MmResult OutputSize(std::uint32_t sourceBytes, std::uint32_t& outputBytes) override
    {
        outputBytes =
            sourceBytes * config.outputNumerator / config.outputDenominator + config.flushBytes + 16;
        return mmresult::kNoError;
    }

    MmResult Convert(ACMSTREAMHEADER& header, std::uint32_t flags) override
    {
        const int call = ++config.log->convertCalls;
        if (call == config.convertFailsAtCall)
            return mmresult::kError;
        std::uint32_t used = header.cbSrcLength;
        if ((flags & kConvertBlockAlign) != 0)
            used -= used % blockAlign;
        std::uint32_t produced = used * config.outputNumerator / config.outputDenominator;
        if ((flags & kConvertEnd) != 0 && (!flushed || config.endlessFlush)) {
            produced += std::max<std::uint32_t>(config.flushBytes, config.endlessFlush ? 1 : 0);
            flushed = true;
        }
        if (produced > header.cbDstLength)
            return mmresult::kNotPossible;
        for (std::uint32_t i = 0; i < produced; ++i)
            header.pbDst[i] = FakeCodecDriver::OutputByte(written++);
        header.cbSrcLengthUsed = used;
        header.cbDstLengthUsed = produced;
        return mmresult::kNoError;
    }

private:
    FakeDriverConfig config;
    std::uint16_t blockAlign;
    bool flushed = false;
    std::uint64_t written = 0;
};
} // namespace

FakeFormat Layer3Format(std::uint32_t bytesPerSec, std::uint16_t channels)
{
    FakeFormat format;
    format.bytesPerSec = bytesPerSec;
    format.channels = channels;
    format.description = std::to_string(bytesPerSec) + " B/s " + (channels == 2 ? "Stereo" : "Mono");
    return format;
}

std::vector<unsigned char> FakeCodecDriver::Record(const FakeFormat& format)
{
    std::vector<unsigned char> record(std::max(format.recordSize, sizeof(WAVEFORMATEX)), 0xEE);
    WAVEFORMATEX header{};
    header.wFormatTag = format.tag;
    header.nChannels = format.channels;
    header.nSamplesPerSec = 44100;
    header.nAvgBytesPerSec = format.bytesPerSec;
    header.nBlockAlign = 1;
    header.cbSize = static_cast<std::uint16_t>(record.size() - sizeof(WAVEFORMATEX));
    std::memcpy(record.data(), &header, sizeof header);
    return record;
}

MmResult FakeCodecDriver::Details(ACMDRIVERDETAILS& details)
{
    if (config.detailsFail)
        return mmresult::kError;
    details.wMid = config.manufacturerId;
    details.wPid = config.productId;
    details.szShortName = "Fake";
    details.szLongName = "Fake codec " + std::to_string(config.productId);
    return mmresult::kNoError;
}

MmResult FakeCodecDriver::About(DriverAboutHost* host)
{
    ++config.log->aboutCalls;
    if (host != nullptr)
        host->ShowDriverAbout("Fake", "Fake codec");
    return mmresult::kNoError;
}

MmResult FakeCodecDriver::ConvertibleFormats(const WAVEFORMATEX& source, std::uint16_t,
                                             std::vector<OfferedFormat>& formats)
{
    if (source.wFormatTag != kWaveFormatPcm)
        return mmresult::kNoError;
    if (config.onlySampleRate != 0 && source.nSamplesPerSec != config.onlySampleRate)
        return mmresult::kNoError;
    for (const FakeFormat& format : config.formats)
        formats.push_back({Record(format), format.description});
    return mmresult::kNoError;
}

MmResult FakeCodecDriver::OpenStream(const WAVEFORMATEX& source, const unsigned char* destination,
                                     std::size_t destinationSize, std::unique_ptr<CodecStream>& stream)
{
    if (config.openFails || source.wFormatTag != kWaveFormatPcm || destinationSize < sizeof(WAVEFORMATEX))
        return mmresult::kNotPossible;
    const bool offered = std::any_of(config.formats.begin(), config.formats.end(), [&](const FakeFormat& f) {
        const auto record = Record(f);
        return std::memcmp(record.data(), destination, std::min(record.size(), destinationSize)) == 0;
    });
    if (!offered)
        return mmresult::kNotPossible;
    ++config.log->streamsOpened;
    stream = std::make_unique<FakeStream>(config, std::max<std::uint16_t>(source.nBlockAlign, 1));
    return mmresult::kNoError;
}

} // namespace cantrix::test
