#include "engine/codec_pump.h"

#include <algorithm>

namespace cantrix {

PumpEnd CodecPump::Run(PumpSink& sink, const std::function<void(std::uint32_t pass)>& afterPass,
                       AutoResetEvent& cancel)
{
    ACMSTREAMHEADER& header = stream.Header();
    long lastCount =
        input.Read(header.pbSrc, static_cast<long>(std::min<std::uint64_t>(remaining, kCallerBlockBytes)));
    if (lastCount < 0)
        return PumpEnd::ReadFailed;
    remaining -= static_cast<std::uint64_t>(lastCount);
    header.cbSrcLength = static_cast<std::uint32_t>(lastCount);
    clips.Count(header.pbSrc, static_cast<std::size_t>(lastCount));

    // PCM bytes brought in by refills; the first block does not count.
    std::uint64_t refilled = 0;
    int endPasses = 0;
    for (std::uint32_t pass = 0;; ++pass) {
        const std::uint32_t flags = lastCount != 0 ? kConvertBlockAlign : kConvertEnd;
        if (stream.Convert(flags) != mmresult::kNoError ||
            (flags == kConvertEnd && ++endPasses > kMaxEndPasses))
            return PumpEnd::CodecFailed;
        if (lastCount == 0 && header.cbDstLengthUsed == 0)
            return PumpEnd::Drained;
        switch (sink.Take(header.pbDst, header.cbDstLengthUsed)) {
        case PumpSink::Taken::More:
            break;
        case PumpSink::Taken::Full:
            return PumpEnd::Full;
        case PumpSink::Taken::Failed:
            return PumpEnd::SinkFailed;
        }
        lastCount = stream.Refill(input, remaining);
        if (lastCount < 0)
            return PumpEnd::ReadFailed;
        // What was read stands at the end of the source block.
        clips.Count(header.pbSrc + header.cbSrcLength - lastCount, static_cast<std::size_t>(lastCount));
        refilled += static_cast<std::uint64_t>(lastCount);
        if (refilled >= refillLimit)
            return PumpEnd::Limit;
        if (afterPass)
            afterPass(pass);
        if (cancel.Wait(std::chrono::milliseconds(0)))
            return PumpEnd::Cancelled;
    }
}

} // namespace cantrix
