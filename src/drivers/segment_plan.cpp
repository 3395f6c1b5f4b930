#include "drivers/segment_plan.h"

#include <algorithm>

namespace cantrix {

namespace {
static_assert(std::ranges::all_of(SegmentPlan::kSegmentLengths,
                                  [](std::uint64_t length) {
                                      return length % SegmentPlan::kPaddingCycleFrames == 0;
                                  }),
              "segments must keep the padding cycle");

// The plan's assumptions, checked at compile time for every format the driver offers, from input
// at its own rate.
constexpr bool HoldsForEveryFormat()
{
    for (const LameOutputFormat& format : lame_outputs::All()) {
        const SegmentPlan plan = *PlanSegments(format.sampleRate, format.channels * 2u, format);
        // Encoders start where the padding cycle starts again.
        if (plan.EncoderStart(1) % layer3::PaddingCycle(format.sampleRate, format.kbps) != 0)
            return false;
        // The encoder starts before it empties its reservoir; the first segment gives out frames
        // before its seam, and the seams' frames never reach back into the segment before.
        if (plan.preRollFrames <= SegmentPlan::kFlushLeadFrames)
            return false;
        if (plan.SettledBefore(1) == 0 ||
            plan.heldFrames + SegmentPlan::kFlushLeadFrames >= std::ranges::min(SegmentPlan::kSegmentLengths))
            return false;
    }
    return true;
}
static_assert(HoldsForEveryFormat(), "a format breaks the segment plan's assumptions");
} // namespace

} // namespace cantrix
