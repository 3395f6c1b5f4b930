#include "platform/codec_manager.h"

#include <algorithm>
#include <cstring>

namespace cantrix {

struct CodecDriverEntry {
    std::unique_ptr<CodecDriver> driver;
};

class CodecDriverHandle {
public:
    explicit CodecDriverHandle(CodecDriver& driver) : driver(driver) {}
    CodecDriver& driver;
};

class CodecStreamHandle {
public:
    explicit CodecStreamHandle(std::unique_ptr<CodecStream> stream) : stream(std::move(stream)) {}
    std::unique_ptr<CodecStream> stream;
    std::uint32_t maxSourceLength = 0; // of the prepared header; a convert may not ask for more
};

CodecManager::CodecManager() = default;
CodecManager::~CodecManager() = default;

CodecManager& CodecManager::Instance()
{
    static CodecManager manager;
    return manager;
}

HACMDRIVERID CodecManager::Install(std::unique_ptr<CodecDriver> driver)
{
    std::lock_guard lock(tableMutex);
    drivers.push_back(std::make_unique<CodecDriverEntry>(CodecDriverEntry{std::move(driver)}));
    return drivers.back().get();
}

MmResult CodecManager::DriverEnum(const DriverEnumCallback& callback, std::uint32_t flags)
{
    if (flags != 0)
        return mmresult::kInvalidFlag;
    std::vector<HACMDRIVERID> snapshot;
    {
        std::lock_guard lock(tableMutex);
        for (const auto& entry : drivers)
            snapshot.push_back(entry.get());
    }
    // The callback runs without the lock, so it may call back into the manager.
    for (HACMDRIVERID id : snapshot) {
        if (!callback(id, 0))
            break;
    }
    return mmresult::kNoError;
}

MmResult CodecManager::DriverDetails(HACMDRIVERID driverId, ACMDRIVERDETAILS& details, std::uint32_t flags)
{
    if (driverId == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != 0)
        return mmresult::kInvalidFlag;
    return driverId->driver->Details(details);
}

MmResult CodecManager::DriverOpen(HACMDRIVER& driver, HACMDRIVERID driverId, std::uint32_t flags)
{
    driver = nullptr;
    if (driverId == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != 0)
        return mmresult::kInvalidFlag;
    driver = new CodecDriverHandle(*driverId->driver);
    return mmresult::kNoError;
}

MmResult CodecManager::DriverMessage(HACMDRIVER driver, std::uint32_t message, DriverAboutHost* host)
{
    if (driver == nullptr)
        return mmresult::kInvalidHandle;
    if (message != kDriverMessageAbout)
        return mmresult::kNotSupported;
    return driver->driver.About(host);
}

MmResult CodecManager::DriverClose(HACMDRIVER driver, std::uint32_t flags)
{
    if (driver == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != 0)
        return mmresult::kInvalidFlag;
    delete driver;
    return mmresult::kNoError;
}

MmResult CodecManager::Metrics(std::uint32_t metric, std::uint32_t& value)
{
    if (metric != kMetricMaxSizeFormat)
        return mmresult::kNotSupported;
    // Every format record is at least a WAVEFORMATEX, even with no driver installed.
    value = sizeof(WAVEFORMATEX);
    std::lock_guard lock(tableMutex);
    for (const auto& entry : drivers)
        value = std::max(value, entry->driver->MaxFormatSize());
    return mmresult::kNoError;
}

MmResult CodecManager::FormatEnum(HACMDRIVER driver, ACMFORMATDETAILS& details,
                                  const FormatEnumCallback& callback, std::uint32_t flags)
{
    if (flags != kFormatEnumConvert)
        return mmresult::kNotSupported;
    if (details.pwfx == nullptr || details.cbwfx < sizeof(WAVEFORMATEX) ||
        details.cbStruct < sizeof(ACMFORMATDETAILS))
        return mmresult::kInvalidParam;

    const WAVEFORMATEX source = *details.pwfx;
    const auto tag = static_cast<std::uint16_t>(details.dwFormatTag);

    std::vector<std::pair<HACMDRIVERID, CodecDriver*>> reporters;
    {
        std::lock_guard lock(tableMutex);
        for (const auto& entry : drivers) {
            if (driver == nullptr || &driver->driver == entry->driver.get())
                reporters.emplace_back(entry.get(), entry->driver.get());
        }
    }

    std::uint32_t index = 0;
    for (const auto& [id, reporter] : reporters) {
        std::vector<OfferedFormat> offered;
        if (reporter->ConvertibleFormats(source, tag, offered) != mmresult::kNoError)
            continue;
        for (const OfferedFormat& format : offered) {
            // A record larger than the caller's buffer cannot be handed over whole: skip it, as a
            // caller that asked for the maximum size never sees this.
            if (format.format.size() < sizeof(WAVEFORMATEX) || format.format.size() > details.cbwfx)
                continue;
            // The rest of the buffer is cleared, so no byte of an earlier record shows behind a
            // shorter one.
            auto* bytes = reinterpret_cast<unsigned char*>(details.pwfx);
            std::memcpy(bytes, format.format.data(), format.format.size());
            std::memset(bytes + format.format.size(), 0, details.cbwfx - format.format.size());
            details.dwFormatIndex = index++;
            std::uint16_t reportedTag;
            std::memcpy(&reportedTag, format.format.data(), sizeof reportedTag);
            details.dwFormatTag = reportedTag;
            details.fdwSupport = 0;
            std::memset(details.szFormat, 0, sizeof details.szFormat);
            std::memcpy(details.szFormat, format.description.data(),
                        std::min(format.description.size(), sizeof details.szFormat - 1));
            if (!callback(id, details, 0))
                return mmresult::kNoError;
        }
    }
    return mmresult::kNoError;
}

MmResult CodecManager::StreamOpen(HACMSTREAM& stream, HACMDRIVER driver, const WAVEFORMATEX& source,
                                  const unsigned char* destination, std::size_t destinationSize,
                                  std::uint32_t flags)
{
    stream = nullptr;
    if ((flags & ~kStreamOpenNonRealtime) != 0)
        return mmresult::kInvalidFlag;
    if (destination == nullptr || destinationSize < sizeof(WAVEFORMATEX))
        return mmresult::kInvalidParam;

    std::vector<CodecDriver*> candidates;
    {
        std::lock_guard lock(tableMutex);
        for (const auto& entry : drivers) {
            if (driver == nullptr || &driver->driver == entry->driver.get())
                candidates.push_back(entry->driver.get());
        }
    }
    for (CodecDriver* candidate : candidates) {
        std::unique_ptr<CodecStream> opened;
        if (candidate->OpenStream(source, destination, destinationSize, opened) == mmresult::kNoError &&
            opened) {
            stream = new CodecStreamHandle(std::move(opened));
            return mmresult::kNoError;
        }
    }
    return mmresult::kNotPossible;
}

MmResult CodecManager::StreamSize(HACMSTREAM stream, std::uint32_t input, std::uint32_t& output,
                                  std::uint32_t flags)
{
    output = 0;
    if (stream == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != kStreamSizeSource)
        return mmresult::kNotSupported;
    return stream->stream->OutputSize(input, output);
}

MmResult CodecManager::StreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER& header, std::uint32_t flags)
{
    if (stream == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != 0)
        return mmresult::kInvalidFlag;
    if (header.cbStruct < sizeof(ACMSTREAMHEADER) || header.pbSrc == nullptr || header.pbDst == nullptr)
        return mmresult::kInvalidParam;
    stream->maxSourceLength = header.cbSrcLength;
    header.fdwStatus |= kStreamHeaderStatusPrepared;
    return mmresult::kNoError;
}

MmResult CodecManager::StreamConvert(HACMSTREAM stream, ACMSTREAMHEADER& header, std::uint32_t flags)
{
    header.cbSrcLengthUsed = 0;
    header.cbDstLengthUsed = 0;
    if (stream == nullptr)
        return mmresult::kInvalidHandle;
    if ((header.fdwStatus & kStreamHeaderStatusPrepared) == 0)
        return mmresult::kInvalidParam;
    if ((flags & ~(kConvertBlockAlign | kConvertEnd)) != 0)
        return mmresult::kInvalidFlag;
    // The header was prepared for its largest source length; a longer one would let the codec
    // read past the caller's buffer.
    if (header.cbSrcLength > stream->maxSourceLength)
        return mmresult::kInvalidParam;
    const MmResult result = stream->stream->Convert(header, flags);
    if (result != mmresult::kNoError) {
        header.cbSrcLengthUsed = 0;
        header.cbDstLengthUsed = 0;
        return result;
    }
    // A driver may never claim more than it was given; clamp so no caller trusts a bad count.
    header.cbSrcLengthUsed = std::min(header.cbSrcLengthUsed, header.cbSrcLength);
    header.cbDstLengthUsed = std::min(header.cbDstLengthUsed, header.cbDstLength);
    return result;
}

MmResult CodecManager::StreamTag(HACMSTREAM stream, std::vector<unsigned char>& tag, std::uint32_t flags)
{
    tag.clear();
    if (stream == nullptr)
        return mmresult::kInvalidHandle;
    if ((flags & ~kStreamTagPlaceholder) != 0)
        return mmresult::kInvalidFlag;
    const MmResult result = stream->stream->Tag(tag, flags);
    if (result != mmresult::kNoError)
        tag.clear();
    return result;
}

MmResult CodecManager::StreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER& header, std::uint32_t flags)
{
    if (stream == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != 0)
        return mmresult::kInvalidFlag;
    header.fdwStatus &= ~kStreamHeaderStatusPrepared;
    return mmresult::kNoError;
}

MmResult CodecManager::StreamClose(HACMSTREAM stream, std::uint32_t flags)
{
    if (stream == nullptr)
        return mmresult::kInvalidHandle;
    if (flags != 0)
        return mmresult::kInvalidFlag;
    delete stream;
    return mmresult::kNoError;
}

} // namespace cantrix
