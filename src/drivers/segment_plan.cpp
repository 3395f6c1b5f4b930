#include "drivers/segment_plan.h"

namespace cantrix {

namespace {
constexpr std::uint64_t kInlineSeconds = 10;
constexpr std::uint32_t kLowestMpeg1Rate = 32000;
constexpr std::uint32_t kMpeg1FrameSamples = 1152;
constexpr std::uint32_t kMpeg2FrameSamples = 576;

// LAME sets the padding bit by a cycle that starts again at every encoder's first frame. At each
// Layer-3 rate and bit rate the cycle's length divides 49 frames (7 x 7 at the 44.1 kHz family, 1
// at the others), so an encoder that starts on a multiple of 49 pads exactly as a serial one does.
constexpr std::uint64_t kPaddingCycleFrames = 49;
static_assert(SegmentPlan::kSegmentFrames % kPaddingCycleFrames == 0, "segments must keep the padding cycle");
} // namespace

std::optional<SegmentPlan> PlanSegments(std::uint32_t inputRate, std::uint32_t outputRate)
{
    if (outputRate == 0 || inputRate % outputRate != 0)
        return std::nullopt;
    const std::uint32_t frameSamples =
        outputRate >= kLowestMpeg1Rate ? kMpeg1FrameSamples : kMpeg2FrameSamples;
    SegmentPlan plan;
    plan.inputPerFrame = frameSamples * (inputRate / outputRate);
    // The first boundary: ten seconds or more, placed so that every encoder starts on the cycle.
    std::uint64_t boundary = (kInlineSeconds * outputRate + frameSamples - 1) / frameSamples;
    while ((boundary - SegmentPlan::kPreRollFrames) % kPaddingCycleFrames != 0)
        ++boundary;
    plan.firstBoundary = boundary;
    return plan;
}

} // namespace cantrix
