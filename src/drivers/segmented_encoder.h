#pragma once
// A Layer-3 stream encoded in segments on the shared worker pool and joined into one stream with
// exactly the frames of a serial encode. The first segment, at least the first ten seconds, is
// encoded by the calling thread as the input arrives, so that short streams and the preview come out
// at once and unchanged. Later segments are filled with input, encoded by pool tasks and joined in
// order (see segment_seam.h for the seam rule). At most a fixed number of them are in flight; taking
// more input waits until the oldest is joined, so the caller's progress follows the encoding.
//
// Nothing leaves without passing the frame grid check (frame_grid_check.h). A seam whose frames
// fail it is not used: the previous segment runs on instead. Frames that fail it where no other
// choice is left fail the stream, so that a damaged stream is never given out.
//
// Thread rules: the calling side (Take, TakeEnd, Give) is used by one thread at a time. Pool tasks
// touch only the segment they encode; the mutex guards the states they report.
#include "drivers/frame_grid_check.h"
#include "drivers/lame_format_table.h"
#include "drivers/lame_segment.h"
#include "drivers/segment_plan.h"
#include "platform/wave_format.h"
#include "platform/worker_pool.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace cantrix {

class SegmentedEncoder {
public:
    // Encodes from `source` to `output`, starting with the encoder `first`; without a plan every
    // frame is encoded by the calling thread, as one serial stream.
    SegmentedEncoder(const WAVEFORMATEX& source, const LameOutputFormat& output,
                     std::unique_ptr<LamePcmEncoder> first, std::optional<SegmentPlan> plan,
                     WorkerPool& pool);
    // Stops the pool tasks of this stream and waits for those that run.
    ~SegmentedEncoder();
    SegmentedEncoder(const SegmentedEncoder&) = delete;
    SegmentedEncoder& operator=(const SegmentedEncoder&) = delete;

    // Takes `frames` sample frames of input; waits while the segments in flight are all unjoined.
    // false when encoding failed, for this and every later call.
    bool Take(const unsigned char* pcm, std::uint32_t frames);
    // Ends the input.
    bool TakeEnd();
    // Moves up to `capacity` bytes of joined output to `output`. With `drain`, after the end, waits
    // until `capacity` bytes or all the rest are ready, so that a result of 0 means the end.
    bool Give(unsigned char* output, std::uint32_t capacity, bool drain, std::uint32_t& produced);

    // The most segments in flight; with it the output left when the input ends stays far below what
    // any caller's flushing passes can take.
    static constexpr std::size_t kMaxInFlight = 16;

    // How the segments were joined so far.
    struct JoinCounts {
        std::uint64_t seams = 0;       // seams used
        std::uint64_t atBoundary = 0;  // of them at a segment's first frame
        std::uint64_t ranOnFrames = 0; // frames the previous segment encoded past a boundary for a seam
        std::uint64_t takenOver = 0;   // segments whose frames the previous one encoded without a seam
    };
    JoinCounts Joins() const { return joins; }

    // The batches frames leave in: settled frames of the segment being given out, the frames up to
    // a seam, and the last frames of the stream.
    enum class Batch { Settled, Seam, Last };
    // Lets a test damage each batch before it is checked, to see that damage is never given out.
    void DamageBatchesForTesting(std::function<void(Batch, std::vector<unsigned char>&)> damage)
    {
        damageForTesting = std::move(damage);
    }

private:
    enum class SlotState { Filling, Queued, Done, Failed };
    struct Slot {
        std::uint64_t index;
        std::unique_ptr<LameSegment> segment;
        bool final = false;
        SlotState state = SlotState::Filling; // guarded by `mutex` once queued
    };

    bool FillSegments(const unsigned char* pcm, std::uint64_t start, std::uint64_t frames);
    bool Submit(std::unique_ptr<Slot> slot, bool final);
    void Encode(Slot& slot);
    // Joins every segment whose successor is done; false when a segment failed.
    bool JoinReady();
    bool JoinNext(Slot& next);
    // Joins at `seam` when the joined frames pass the check, and the next segment's frame there too.
    bool TryJoin(Slot& next, std::uint64_t seam);
    // Feeds the current segment input from `next` until its slots are complete up to stream frame
    // `frame`; false when `next` has no more input for it or encoding failed.
    bool IndexThrough(Slot& next, std::uint64_t frame);
    // Gives out the current segment's frames that no seam can change any more.
    bool ReleaseSettled();
    // Gives out the rest of the last segment.
    bool ReleaseLast();
    // Checks `batch`, stream frames [currentFrom, end), and adds it to the output.
    bool GiveOut(Batch kind, std::vector<unsigned char>& batch, std::uint64_t end);

    const WAVEFORMATEX source;
    const LameOutputFormat output;
    const std::optional<SegmentPlan> plan;
    const std::uint32_t frameBytes;
    const std::size_t inFlightLimit;

    std::uint64_t inputFrames = 0;
    bool failed = false;
    bool ended = false;
    bool complete = false;

    // The segment whose frames the stream takes now, from stream frame `currentFrom` on; the frames
    // before it have been given out.
    std::unique_ptr<LameSegment> current;
    std::uint64_t currentIndex = 0;
    std::uint64_t currentFrom = 0;
    bool currentFinal = false;
    // While the first segment is current and fed by the calling thread.
    bool firstFeeding = true;

    std::uint64_t nextIndex = 1;
    std::deque<std::unique_ptr<Slot>> filling;
    std::deque<std::unique_ptr<Slot>> inFlight;

    std::vector<unsigned char> ready;
    std::size_t readyFrom = 0;
    FrameGridCheck check;
    JoinCounts joins;
    std::function<void(Batch, std::vector<unsigned char>&)> damageForTesting;

    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t completions = 0; // guarded by `mutex`
    WorkerGroup tasks;             // last, so that it is cancelled before the slots go
};

} // namespace cantrix
