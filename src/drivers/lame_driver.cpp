#include "drivers/lame_driver.h"

#include "drivers/lame_encoder.h"
#include "drivers/lame_stream.h"

#include <lame/lame.h>

namespace cantrix {

namespace {
constexpr std::uint16_t kManufacturerId = 172;
// Product id 13 is the "Summit" edition, the one that offers every preset.
constexpr std::uint16_t kProductId = 13;

constexpr const char* kShortName = "Quillonics MPEG Layer-3";
constexpr const char* kLongName = "Quillonics MPEG Layer-3 ACM Audio Codec";
constexpr const char* kLicence = "GNU Lesser General Public License (LGPL)";

// vdwDriver packs major.minor.build as 8, 8 and 16 bits; the driver carries LAME's version.
constexpr int kMajorShift = 24;
constexpr int kMinorShift = 16;

std::string LameVersion()
{
    return get_lame_version();
}
} // namespace

LameDriver::LameDriver(WorkerPool& pool) : formatTable(LameEncoder::EncoderDelay()), pool(pool)
{
}

MmResult LameDriver::Details(ACMDRIVERDETAILS& details)
{
    lame_version_t version{};
    get_lame_version_numerical(&version);
    details.wMid = kManufacturerId;
    details.wPid = kProductId;
    details.vdwDriver = static_cast<std::uint32_t>(version.major) << kMajorShift |
                        static_cast<std::uint32_t>(version.minor) << kMinorShift;
    details.szShortName = kShortName;
    details.szLongName = kLongName;
    details.szCopyright = "Layer-3 encoding by LAME " + LameVersion() + ", Copyright (c) The LAME Project";
    details.szLicensing = std::string("LAME is free software under the ") + kLicence + ".";
    details.szFeatures =
        "Constant bit rate MPEG-1, MPEG-2 and MPEG-2.5 Layer-3 from 8 to 320 kBit/s, mono or "
        "stereo, from 8, 16, 24 or 32-bit PCM at 8000 to 192000 Hz.";
    return mmresult::kNoError;
}

MmResult LameDriver::About(DriverAboutHost* host)
{
    if (host == nullptr)
        return mmresult::kInvalidParam;
    const std::string text = std::string(kLongName) + "\n\nLayer-3 encoding by LAME " + LameVersion() +
                             ".\nLAME is free software under the " + kLicence + ".\n" + get_lame_url();
    host->ShowDriverAbout(std::string("About ") + kLongName, text);
    return mmresult::kNoError;
}

std::uint32_t LameDriver::MaxFormatSize()
{
    return sizeof(MPEGLAYER3WAVEFORMAT);
}

MmResult LameDriver::ConvertibleFormats(const WAVEFORMATEX& source, std::uint16_t formatTag,
                                        std::vector<OfferedFormat>& formats)
{
    formats.clear();
    if (formatTag == kWaveFormatMpegLayer3)
        formats = formatTable.Offer(source);
    return mmresult::kNoError;
}

MmResult LameDriver::OpenStream(const WAVEFORMATEX& source, const unsigned char* destination,
                                std::size_t destinationSize, std::unique_ptr<CodecStream>& stream)
{
    stream.reset();
    const std::optional<LameOutputFormat> output =
        LameFormatTable::Match(source, destination, destinationSize);
    if (!output)
        return mmresult::kNotPossible;
    return LameStream::Open(source, *output, pool, stream);
}

} // namespace cantrix
