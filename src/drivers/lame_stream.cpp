#include "drivers/lame_stream.h"

#include "drivers/lame_encoder.h"
#include "drivers/lame_pcm_encoder.h"

namespace cantrix {

namespace {
constexpr std::uint32_t kKnownFlags = kConvertBlockAlign | kConvertEnd;
} // namespace

MmResult LameStream::Open(const WAVEFORMATEX& source, const LameOutputFormat& output, WorkerPool& pool,
                          std::unique_ptr<CodecStream>& stream)
{
    stream.reset();
    std::unique_ptr<LamePcmEncoder> first;
    const MmResult result = LamePcmEncoder::Open(source, output, first);
    if (result != mmresult::kNoError)
        return result;
    std::optional<LameInfoTag> infoTag;
    if (const MmResult made = LameInfoTag::Make(source, output, infoTag); made != mmresult::kNoError)
        return made;
    const std::uint32_t frameBytes = first->FrameBytes();
    auto encoder = std::make_unique<SegmentedEncoder>(source, output, std::move(first),
                                                      PlanSegments(source, output), pool);
    stream.reset(new LameStream(std::move(encoder), frameBytes, std::move(*infoTag), source, output));
    return mmresult::kNoError;
}

std::uint64_t LameStream::OutputBound(std::uint64_t frames, bool flush)
{
    return LamePcmEncoder::OutputBound(frames) + (flush ? LamePcmEncoder::kFlushBound : 0);
}

MmResult LameStream::OutputSize(std::uint32_t sourceBytes, std::uint32_t& outputBytes)
{
    const std::uint64_t bound = OutputBound(sourceBytes / frameBytes, true);
    if (bound > UINT32_MAX)
        return mmresult::kNotPossible;
    outputBytes = static_cast<std::uint32_t>(bound);
    return mmresult::kNoError;
}

MmResult LameStream::Convert(ACMSTREAMHEADER& header, std::uint32_t flags)
{
    header.cbSrcLengthUsed = 0;
    header.cbDstLengthUsed = 0;
    if ((flags & ~kKnownFlags) != 0)
        return mmresult::kInvalidFlag;
    if ((header.pbSrc == nullptr && header.cbSrcLength != 0) || header.pbDst == nullptr)
        return mmresult::kInvalidParam;
    const bool end = (flags & kConvertEnd) != 0;
    switch (state) {
    case State::Failed:
        return mmresult::kError;
    case State::Draining:
        // The input has ended; an END call gives more of the rest, nothing else is possible.
        if (!end)
            return mmresult::kNotPossible;
        break;
    case State::Encoding:
        break;
    }

    const std::uint32_t frames = header.cbSrcLength / frameBytes;
    if (header.cbDstLength < OutputBound(frames, end))
        return mmresult::kInvalidParam;

    bool ok = true;
    if (state == State::Encoding) {
        ok = encoder->Take(header.pbSrc, frames);
        if (ok && end) {
            ok = encoder->TakeEnd();
            state = State::Draining;
        }
        header.cbSrcLengthUsed = end ? header.cbSrcLength : frames * frameBytes;
        inputFrames += frames;
    }
    std::uint32_t produced = 0;
    ok = ok && encoder->Give(header.pbDst, header.cbDstLength, end, produced);
    if (!ok) {
        // LAME's state is undefined after a failed call: the stream cannot go on.
        state = State::Failed;
        header.cbSrcLengthUsed = 0;
        return mmresult::kError;
    }
    header.cbDstLengthUsed = produced;
    given.Add(header.pbDst, produced);
    return mmresult::kNoError;
}

MmResult LameStream::Tag(std::vector<unsigned char>& tag, std::uint32_t flags)
{
    if ((flags & ~kStreamTagPlaceholder) != 0)
        return mmresult::kInvalidFlag;
    if ((flags & kStreamTagPlaceholder) != 0) {
        tag = infoTag.Placeholder();
        return mmresult::kNoError;
    }
    // The output's samples of the input, as many as "fact" counts in a RIFF output.
    std::optional<std::uint64_t> samples;
    if (state == State::Draining)
        samples = inputFrames * outputRate / sourceRate;
    tag = infoTag.Frame(given, LameEncoder::EncoderDelay(), samples);
    return mmresult::kNoError;
}

} // namespace cantrix
