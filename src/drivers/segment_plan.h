#pragma once
// Where a long stream is cut into segments that encode in parallel. Every position is a frame of
// the output's frame grid, counted from the start of the stream, and depends on the formats only:
// never on the thread count or the machine, so that every thread count writes the same bytes.
#include <cstdint>
#include <optional>

namespace cantrix {

struct SegmentPlan {
    // Output frames of the first segment, which the calling thread encodes as the input arrives;
    // it covers at least the first ten seconds.
    std::uint64_t firstBoundary = 0;
    // Input sample frames per output frame.
    std::uint32_t inputPerFrame = 0;

    // Output frames of every later segment but the last.
    static constexpr std::uint64_t kSegmentFrames = 392;
    // A segment's encoder starts this many frames before its first frame, so that the
    // psychoacoustic state (LAME smooths perceptual entropy over 19 frames) has settled by then.
    static constexpr std::uint64_t kPreRollFrames = 24;
    // It empties its bit reservoir this many frames before its first frame. From there on its
    // reservoir never holds more than the previous segment's, so its data fits into what the
    // previous one leaves free; the frames in between are the fallback seams.
    static constexpr std::uint64_t kFlushLeadFrames = 8;
    // A segment encodes this far past its last frame, so that its last frame's slot is complete.
    static constexpr std::uint64_t kPostRollFrames = 2;

    // The first frame of segment `index` (1 and up); segment 0 starts at frame 0.
    std::uint64_t Boundary(std::uint64_t index) const { return firstBoundary + (index - 1) * kSegmentFrames; }
    std::uint64_t EncoderStart(std::uint64_t index) const { return Boundary(index) - kPreRollFrames; }
    std::uint64_t FlushFrame(std::uint64_t index) const { return Boundary(index) - kFlushLeadFrames; }
    // The frame up to which segment `index` encodes unless it is the last.
    std::uint64_t EncoderEnd(std::uint64_t index) const { return Boundary(index + 1) + kPostRollFrames; }
};

// The plan for `inputRate` encoded at `outputRate`; none when the stream stays serial, which it
// does unless the input rate is a whole multiple of the output rate (LAME's resampler then keeps
// the same phase at every frame, so a segment's samples match those of one serial encode).
std::optional<SegmentPlan> PlanSegments(std::uint32_t inputRate, std::uint32_t outputRate);

} // namespace cantrix
