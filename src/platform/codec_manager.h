#pragma once
// The codec manager: a table of installed codec drivers and the calling side the program uses,
// shaped after the Audio Compression Manager's calls. It contains no codec of its own.
//
// Thread rules: drivers are installed before any other call (at start-up, or by a test); after
// that every call may come from any thread. One stream is used by one thread at a time.
#include "platform/codec_driver.h"
#include "platform/mm_result.h"
#include "platform/wave_format.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace cantrix {

// A driver identifier: which entry of the table. It owns nothing.
using HACMDRIVERID = const struct CodecDriverEntry*;
class CodecDriverHandle;
class CodecStreamHandle;
using HACMDRIVER = CodecDriverHandle*;
using HACMSTREAM = CodecStreamHandle*;

// The published ACMFORMATDETAILS fields. `pwfx` points to the caller's buffer of `cbwfx` bytes,
// which holds the source format on the call and each reported format in the callback.
struct ACMFORMATDETAILS {
    std::uint32_t cbStruct = 0;
    std::uint32_t dwFormatIndex = 0;
    std::uint32_t dwFormatTag = 0;
    std::uint32_t fdwSupport = 0;
    WAVEFORMATEX* pwfx = nullptr;
    std::uint32_t cbwfx = 0;
    char szFormat[kFormatDescriptionChars] = {};
};

constexpr std::uint32_t kFormatEnumConvert = 0x00100000; // ACM_FORMATENUMF_CONVERT
constexpr std::uint32_t kStreamOpenNonRealtime = 0x00000004;
constexpr std::uint32_t kStreamSizeSource = 0x00000000;
constexpr std::uint32_t kMetricMaxSizeFormat = 50;
constexpr std::uint32_t kDriverMessageAbout = 0x600B; // ACMDM_DRIVER_ABOUT

using DriverEnumCallback = std::function<bool(HACMDRIVERID driverId, std::uint32_t support)>;
using FormatEnumCallback =
    std::function<bool(HACMDRIVERID driverId, ACMFORMATDETAILS& details, std::uint32_t support)>;

class CodecManager {
public:
    CodecManager();
    ~CodecManager();
    CodecManager(const CodecManager&) = delete;
    CodecManager& operator=(const CodecManager&) = delete;

    // The process's manager, which start-up fills with the built-in drivers.
    static CodecManager& Instance();

    // Appends a driver to the table; enumeration reports drivers in installation order.
    HACMDRIVERID Install(std::unique_ptr<CodecDriver> driver);

    [[nodiscard]] MmResult DriverEnum(const DriverEnumCallback& callback, std::uint32_t flags);
    [[nodiscard]] MmResult DriverDetails(HACMDRIVERID driverId, ACMDRIVERDETAILS& details,
                                         std::uint32_t flags);
    [[nodiscard]] MmResult DriverOpen(HACMDRIVER& driver, HACMDRIVERID driverId, std::uint32_t flags);
    // kDriverMessageAbout with the About host as the first parameter.
    [[nodiscard]] MmResult DriverMessage(HACMDRIVER driver, std::uint32_t message, DriverAboutHost* host);
    [[nodiscard]] MmResult DriverClose(HACMDRIVER driver, std::uint32_t flags);

    // kMetricMaxSizeFormat: the largest format record of any installed driver.
    [[nodiscard]] MmResult Metrics(std::uint32_t metric, std::uint32_t& value);
    // With no driver (nullptr) every installed driver reports. With kFormatEnumConvert each
    // reported format is one the source in details.pwfx converts to; the callback sees the format
    // in details.pwfx (cut to cbwfx bytes) and its description in details.szFormat.
    [[nodiscard]] MmResult FormatEnum(HACMDRIVER driver, ACMFORMATDETAILS& details,
                                      const FormatEnumCallback& callback, std::uint32_t flags);

    // With no driver, the first installed driver that can do the conversion opens the stream.
    [[nodiscard]] MmResult StreamOpen(HACMSTREAM& stream, HACMDRIVER driver, const WAVEFORMATEX& source,
                                      const unsigned char* destination, std::size_t destinationSize,
                                      std::uint32_t flags);
    [[nodiscard]] MmResult StreamSize(HACMSTREAM stream, std::uint32_t input, std::uint32_t& output,
                                      std::uint32_t flags);
    [[nodiscard]] MmResult StreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER& header,
                                               std::uint32_t flags);
    [[nodiscard]] MmResult StreamConvert(HACMSTREAM stream, ACMSTREAMHEADER& header, std::uint32_t flags);
    // The stream's tag, which a file puts in front of the converted data: for the data converted so
    // far, or with kStreamTagPlaceholder a block of its size that describes nothing. kNotSupported
    // (and no bytes) when the stream has none.
    [[nodiscard]] MmResult StreamTag(HACMSTREAM stream, std::vector<unsigned char>& tag, std::uint32_t flags);
    [[nodiscard]] MmResult StreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER& header,
                                                 std::uint32_t flags);
    [[nodiscard]] MmResult StreamClose(HACMSTREAM stream, std::uint32_t flags);

private:
    std::mutex tableMutex;
    std::vector<std::unique_ptr<CodecDriverEntry>> drivers;
};

} // namespace cantrix
