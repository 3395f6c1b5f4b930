#include "engine/conversion_stream.h"

#include <algorithm>
#include <cstring>

namespace cantrix {

ConversionStream::~ConversionStream()
{
    // Releasing cannot be retried, and the run's outcome is settled by now.
    if (prepared)
        (void)codecs.StreamUnprepareHeader(stream, header, 0);
    if (stream != nullptr)
        (void)codecs.StreamClose(stream, 0);
}

MmResult ConversionStream::Open(const WAVEFORMATEX& source, const FormatEntry& destination,
                                unsigned char* sourceBuffer, std::vector<unsigned char>& destinationBuffer)
{
    MmResult result = codecs.StreamOpen(stream, nullptr, source, destination.format.data(),
                                        destination.format.size(), kStreamOpenNonRealtime);
    if (result != mmresult::kNoError)
        return result;
    std::uint32_t destinationSize = 0;
    result = codecs.StreamSize(stream, kCallerBlockBytes, destinationSize, kStreamSizeSource);
    if (result != mmresult::kNoError || destinationSize == 0)
        return result != mmresult::kNoError ? result : mmresult::kNotPossible;
    destinationBuffer.assign(destinationSize, 0);
    header = ACMSTREAMHEADER{};
    header.cbStruct = sizeof header;
    header.pbSrc = sourceBuffer;
    header.cbSrcLength = kCallerBlockBytes;
    header.pbDst = destinationBuffer.data();
    header.cbDstLength = destinationSize;
    result = codecs.StreamPrepareHeader(stream, header, 0);
    prepared = result == mmresult::kNoError;
    return result;
}

long ConversionStream::Refill(RiffFile& input, std::uint64_t& remaining)
{
    const std::uint32_t leftover = header.cbSrcLength - header.cbSrcLengthUsed;
    if (leftover != 0)
        std::memmove(header.pbSrc, header.pbSrc + header.cbSrcLengthUsed, leftover);
    const long count =
        input.Read(header.pbSrc + leftover,
                   static_cast<long>(std::min<std::uint64_t>(header.cbSrcLengthUsed, remaining)));
    if (count < 0)
        return count;
    remaining -= static_cast<std::uint32_t>(count);
    header.cbSrcLength = leftover + static_cast<std::uint32_t>(count);
    return count;
}

} // namespace cantrix
