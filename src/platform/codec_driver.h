#pragma once
// The interface a codec driver offers the codec manager. Drivers are installed in the manager's
// driver table; nothing else in the program calls a driver directly.
#include "platform/mm_result.h"
#include "platform/wave_format.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cantrix {

// The published ACMDRIVERDETAILS fields the program and the About box use.
struct ACMDRIVERDETAILS {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vdwDriver = 0;
    std::string szShortName;
    std::string szLongName;
    std::string szCopyright;
    std::string szLicensing;
    std::string szFeatures;
};

constexpr std::size_t kFormatDescriptionChars = 128;

// One destination format a driver offers for a source format: the format record (any length
// from 18 bytes up) and its description (at most 127 characters).
struct OfferedFormat {
    std::vector<unsigned char> format;
    std::string description;
};

// The published ACMSTREAMHEADER fields a conversion uses. The caller owns both buffers.
struct ACMSTREAMHEADER {
    std::uint32_t cbStruct = 0;
    std::uint32_t fdwStatus = 0;
    unsigned char* pbSrc = nullptr;
    std::uint32_t cbSrcLength = 0;
    std::uint32_t cbSrcLengthUsed = 0;
    unsigned char* pbDst = nullptr;
    std::uint32_t cbDstLength = 0;
    std::uint32_t cbDstLengthUsed = 0;
};

constexpr std::uint32_t kStreamHeaderStatusPrepared = 0x00020000;

// acmStreamConvert flags.
constexpr std::uint32_t kConvertBlockAlign = 0x00000004;
constexpr std::uint32_t kConvertEnd = 0x00000020;

// The calling side's protocol, which drivers may rely on: PCM is handed over in blocks of
// kCallerBlockBytes (the last one shorter), then END is repeated until a pass produces nothing.
// A driver still producing after kMaxEndPasses END passes is taken for broken and the run fails.
constexpr std::uint32_t kCallerBlockBytes = 2048;
constexpr int kMaxEndPasses = 4096;

// Receives a driver's About box. The window side implements it; a driver shows its box through
// it and returns when the box has been closed.
class DriverAboutHost {
public:
    virtual void ShowDriverAbout(const std::string& title, const std::string& text) = 0;

protected:
    ~DriverAboutHost() = default;
};

// Stream tag flags: without kStreamTagPlaceholder the tag describes the output given out so far.
constexpr std::uint32_t kStreamTagPlaceholder = 0x00000001;

// One open conversion stream. It is used by one thread at a time.
class CodecStream {
public:
    virtual ~CodecStream() = default;
    // The output buffer size that one call converting `sourceBytes` needs at most.
    virtual MmResult OutputSize(std::uint32_t sourceBytes, std::uint32_t& outputBytes) = 0;
    // Converts as `flags` say and reports cbSrcLengthUsed and cbDstLengthUsed in `header`.
    virtual MmResult Convert(ACMSTREAMHEADER& header, std::uint32_t flags) = 0;
    // The block a file puts in front of the output to describe it (its length, for one): for the
    // output given out so far, or with kStreamTagPlaceholder a block of the same size that
    // describes nothing, to hold its place until the output's length is known. Its size never
    // changes. kNotSupported when the stream has no such block.
    virtual MmResult Tag(std::vector<unsigned char>& tag, std::uint32_t flags)
    {
        (void)flags;
        tag.clear();
        return mmresult::kNotSupported;
    }
};

class CodecDriver {
public:
    virtual ~CodecDriver() = default;
    virtual MmResult Details(ACMDRIVERDETAILS& details) = 0;
    // Shows the driver's own About box; kNotSupported when it has none.
    virtual MmResult About(DriverAboutHost* host) = 0;
    // The largest format record the driver uses, in bytes.
    virtual std::uint32_t MaxFormatSize() = 0;
    // The destination formats of `formatTag` to which `source` can be converted, in the driver's
    // order.
    virtual MmResult ConvertibleFormats(const WAVEFORMATEX& source, std::uint16_t formatTag,
                                        std::vector<OfferedFormat>& formats) = 0;
    // kNotPossible when the driver cannot convert `source` into `destination`.
    virtual MmResult OpenStream(const WAVEFORMATEX& source, const unsigned char* destination,
                                std::size_t destinationSize, std::unique_ptr<CodecStream>& stream) = 0;
};

} // namespace cantrix
