#pragma once
// Where a long stream is cut into segments that encode in parallel. Every position is a frame of
// the output's frame grid, counted from the start of the stream, and depends on the formats only:
// never on the thread count or the machine, so that every thread count writes the same bytes.
#include "drivers/lame_output_formats.h"
#include "drivers/layer3_geometry.h"
#include "platform/codec_driver.h"
#include "platform/wave_format.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace cantrix {

struct SegmentPlan {
    // Output frames of the first segment, at least the first ten seconds: shorter streams are the
    // serial encode.
    std::uint64_t firstBoundary = 0;
    // The output frames whose input the calling thread encodes as it arrives, so that they come out
    // call by call as a serial encode gives them: the first five seconds and one caller block (what
    // the preview converts), and more where the rest of the first segment would not fit a segment's
    // PCM (up to where the second segment's encoder starts). A pool task encodes the rest of the
    // first segment.
    std::uint64_t inlineFrames = 0;
    // Input sample frames per output frame.
    std::uint32_t inputPerFrame = 0;
    // A segment's encoder starts this many frames before its first frame (see kPreRollFrames).
    std::uint64_t preRollFrames = 0;
    // Frames before a seam whose slots the seam may still fill (see HeldFrames).
    std::uint64_t heldFrames = 0;
    // A segment encodes this far past its last frame, so that its last frame's slot is complete
    // (see OutputLagFrames).
    std::uint64_t postRollFrames = 0;
    // Output frames of every later segment but the last: the longest of kSegmentLengths whose PCM
    // fits kSegmentPcmBytes (the shortest when none does).
    std::uint64_t segmentFrames = 0;

    // Segment lengths, longest first; each keeps the padding cycle (see PlanSegments). Ten seconds
    // at 44.1 kHz is the longest: short segments spend more of their encoding on pre-roll.
    static constexpr std::uint64_t kSegmentLengths[] = {392, 294, 196, 98};
    // LAME sets the padding bit by a cycle that starts again at every encoder's first frame: an
    // encoder that starts on a multiple of the cycle pads exactly as a serial one does. Every
    // format's cycle divides this (checked in segment_plan.cpp), and every segment length is a
    // multiple of it.
    static constexpr std::uint64_t kPaddingCycleFrames = 49;
    // The PCM that the segments of one stream hold at once, at most (those in flight and those
    // filling): with it a conversion stays within 64 MiB whatever its formats. A segment holds at
    // most a quarter of it, so that two in flight and two filling fit.
    static constexpr std::uint64_t kStreamPcmBytes = 32ull << 20;
    static constexpr std::uint64_t kSegmentPcmBytes = kStreamPcmBytes / 4;
    // A segment's encoder starts this many frames before its first frame, so that its
    // psychoacoustic state has settled by then. 12 frames code the seams as well as 24 did
    // (bench/seam_quality, every format), except at low bit rates, where a frame's few bits make
    // the encoder's choices hang on that state for longer: those keep 24.
    static constexpr std::uint64_t kPreRollFrames = 12;
    static constexpr std::uint64_t kLowRatePreRollFrames = 24;
    static constexpr std::uint32_t kLowRateKbps = 32;
    // It empties its bit reservoir this many frames before its first frame. From there on its
    // reservoir never holds more than the previous segment's, so its data fits into what the
    // previous one leaves free; the frames in between are the fallback seams.
    static constexpr std::uint64_t kFlushLeadFrames = 8;

    // The input sample frames the calling thread encodes.
    constexpr std::uint64_t InlineInput() const { return inlineFrames * inputPerFrame; }
    // The first frame of segment `index` (1 and up); segment 0 starts at frame 0.
    constexpr std::uint64_t Boundary(std::uint64_t index) const
    {
        return firstBoundary + (index - 1) * segmentFrames;
    }
    constexpr std::uint64_t EncoderStart(std::uint64_t index) const
    {
        return Boundary(index) - preRollFrames;
    }
    constexpr std::uint64_t FlushFrame(std::uint64_t index) const
    {
        return Boundary(index) - kFlushLeadFrames;
    }
    // The frame up to which segment `index` encodes unless it is the last.
    constexpr std::uint64_t EncoderEnd(std::uint64_t index) const
    {
        return Boundary(index + 1) + postRollFrames;
    }
    // The frames a segment's encoder writes, unless it is the first or the last.
    constexpr std::uint64_t EncoderFrames() const { return preRollFrames + segmentFrames + postRollFrames; }
    // The most frames a pool task encodes: a segment's, or the rest of the first segment.
    constexpr std::uint64_t LongestPooled() const
    {
        return std::max(EncoderFrames(), EncoderEnd(0) - inlineFrames);
    }
    // The first frame that the seam with segment `index` may still change: the frames before it are
    // settled and may be given out.
    constexpr std::uint64_t SettledBefore(std::uint64_t index) const
    {
        return FlushFrame(index) - heldFrames;
    }
};

// A seam at frame S writes into the free bytes after the data of frame S - 1, which begins at most
// main_data_begin's reach before that frame's slot. The slots that reach spans, at the smallest slot
// of the format, and the slot of frame S - 1 itself.
constexpr std::uint64_t HeldFrames(const LameOutputFormat& format)
{
    const std::uint32_t smallest = layer3::MinMainBytes(format.sampleRate, format.channels, format.kbps);
    return 1 + (layer3::MaxMainDataBegin(format.sampleRate) + smallest - 1) / smallest;
}

// How many frames the encoder's complete output lags the input it was given: LAME encodes a frame
// one frame after its input arrived, and a frame's slot is complete only once the main data of a
// later frame, which may begin up to main_data_begin's reach earlier, has been written past it.
constexpr std::uint64_t OutputLagFrames(const LameOutputFormat& format)
{
    return HeldFrames(format) + 1;
}

// The plan for input at `inputRate` of `inputFrameBytes` bytes a sample frame, encoded to
// `output`; none when the stream stays serial, which it does unless the input rate is a whole
// multiple of the output rate (LAME's resampler then keeps the same phase at every frame, so a
// segment's samples match those of one serial encode).
constexpr std::optional<SegmentPlan> PlanSegments(std::uint32_t inputRate, std::uint32_t inputFrameBytes,
                                                  const LameOutputFormat& output)
{
    constexpr std::uint64_t kSerialSeconds = 10;
    constexpr std::uint64_t kInlineSeconds = 5;
    const std::uint32_t outputRate = output.sampleRate;
    if (outputRate == 0 || inputRate % outputRate != 0)
        return std::nullopt;
    const std::uint32_t frameSamples = layer3::FrameSamples(outputRate);
    SegmentPlan plan;
    plan.inputPerFrame = frameSamples * (inputRate / outputRate);
    plan.preRollFrames = output.kbps <= SegmentPlan::kLowRateKbps ? SegmentPlan::kLowRatePreRollFrames
                                                                  : SegmentPlan::kPreRollFrames;
    plan.heldFrames = HeldFrames(output);
    plan.postRollFrames = OutputLagFrames(output) + 1;
    for (const std::uint64_t length : SegmentPlan::kSegmentLengths) {
        plan.segmentFrames = length;
        if (plan.EncoderFrames() * plan.inputPerFrame * inputFrameBytes <= SegmentPlan::kSegmentPcmBytes)
            break;
    }
    // The first boundary: ten seconds or more, placed so that every encoder starts on the cycle.
    std::uint64_t boundary = (kSerialSeconds * outputRate + frameSamples - 1) / frameSamples;
    while ((boundary - plan.preRollFrames) % SegmentPlan::kPaddingCycleFrames != 0)
        ++boundary;
    plan.firstBoundary = boundary;
    const std::uint64_t inlineInput = kInlineSeconds * inputRate + kCallerBlockBytes / inputFrameBytes;
    const std::uint64_t pooledFit = SegmentPlan::kSegmentPcmBytes / (plan.inputPerFrame * inputFrameBytes);
    plan.inlineFrames = (inlineInput + plan.inputPerFrame - 1) / plan.inputPerFrame;
    if (plan.EncoderEnd(0) > plan.inlineFrames + pooledFit)
        plan.inlineFrames = std::min(plan.EncoderEnd(0) - pooledFit, plan.EncoderStart(1));
    return plan;
}

constexpr std::optional<SegmentPlan> PlanSegments(const WAVEFORMATEX& source, const LameOutputFormat& output)
{
    return PlanSegments(source.nSamplesPerSec, source.nBlockAlign, output);
}

} // namespace cantrix
