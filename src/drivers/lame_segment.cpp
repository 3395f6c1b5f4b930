#include "drivers/lame_segment.h"

#include <algorithm>

namespace cantrix {

namespace {
// Sample frames per encode call: small enough that a stop request is seen within a millisecond.
constexpr std::uint64_t kFeedFrames = 4096;
// Near the flush frame the input goes in small steps, each completing at most one frame.
constexpr std::uint64_t kCreepFrames = 64;
} // namespace

LameSegment::LameSegment(std::uint64_t firstFrame, std::uint32_t inputPerFrame, std::uint32_t frameBytes)
    : firstFrame(firstFrame), inputPerFrame(inputPerFrame), firstInput(firstFrame * inputPerFrame),
      frameBytes(frameBytes), pcmStart(firstInput), output(firstFrame)
{
}

bool LameSegment::Feed(const unsigned char* source, std::uint64_t frames, const std::atomic<bool>* stop)
{
    while (frames > 0) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return false;
        const std::uint64_t chunk = std::min(frames, kFeedFrames);
        if (!encoder->Encode(source, static_cast<std::uint32_t>(chunk), output.Bytes()))
            return false;
        source += chunk * FrameBytes();
        frames -= chunk;
        fed += chunk;
    }
    return output.Index();
}

bool LameSegment::EncodePcm(std::optional<std::uint64_t> flushFrame, bool final,
                            const std::atomic<bool>& stop)
{
    const std::uint64_t total = pcm.size() / FrameBytes();
    auto taken = [&] { return NextInput() - pcmStart; };
    if (flushFrame) {
        // LAME encodes a frame as soon as it holds the input for it, so the input goes in until
        // exactly the frames before the flush frame are encoded. A final segment may end first.
        const std::uint32_t target = static_cast<std::uint32_t>(*flushFrame - firstFrame);
        while (encoder->FramesEncoded() < target && taken() < total) {
            const std::uint64_t missing = target - encoder->FramesEncoded();
            const std::uint64_t step = missing > 1 ? (missing - 1) * inputPerFrame : kCreepFrames;
            if (!Feed(pcm.data() + taken() * FrameBytes(), std::min(step, total - taken()), &stop))
                return false;
        }
        if (encoder->FramesEncoded() > target)
            return false;
        if (encoder->FramesEncoded() == target && !encoder->EmptyReservoir(output.Bytes()))
            return false;
    }
    if (!Feed(pcm.data() + taken() * FrameBytes(), total - taken(), &stop))
        return false;
    return !final || Finish();
}

bool LameSegment::Finish()
{
    return encoder->Flush(output.Bytes()) && output.Index();
}

} // namespace cantrix
