#pragma once
// A Layer-3 stream encoded in segments on the shared worker pool and joined into one stream with
// exactly the frames of a serial encode. The first segment reaches at least ten seconds, so that
// shorter streams are the serial encode. Its first seconds are encoded by the calling thread as the
// input arrives, so that they come out call by call as a serial encode gives them (what the preview
// converts); the rest of it goes to the pool like every later segment. Segments are filled with
// input, encoded by pool tasks and joined in order (see segment_seam.h for the seam rule). At most
// a fixed number of them are in flight; taking more input waits until the oldest is joined, so the
// caller's progress follows the encoding.
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
    // The segments in flight at once with `plan`, input of `frameBytes` bytes a sample frame and a
    // pool of `threads`: enough to keep the threads busy, within the stream's PCM budget.
    static std::size_t InFlightLimit(const std::optional<SegmentPlan>& plan, std::uint32_t frameBytes,
                                     unsigned threads);

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
    // Where the stream is, in the order it goes through these.
    enum class Phase {
        Inline,      // the calling thread encodes the first segment as the input arrives
        Segmenting,  // the input fills segments that the pool encodes
        Ended,       // the input has ended; the segments in flight are joined as they finish
        LastSegment, // the current segment is the stream's last: what is left of it goes out
        Complete,    // every frame has been given out
        Failed,      // encoding or a check failed, for this and every later call
    };

    enum class PoolState { Filling, Queued, Done, Failed };
    // A segment that a pool task encodes: a later one from its start, or the rest of the first.
    struct PooledSegment {
        std::uint64_t index = 0;
        std::unique_ptr<LameSegment> segment;
        bool final = false;
        PoolState state = PoolState::Filling; // guarded by `mutex` once queued
    };

    bool Fail()
    {
        phase = Phase::Failed;
        return false;
    }
    // Hands the rest of the first segment to the pool: its input from here on is held for a task.
    void PoolTheFirstSegment();
    bool FillSegments(const unsigned char* pcm, std::uint64_t start, std::uint64_t frames);
    bool Submit(std::unique_ptr<PooledSegment> pooled, bool final);
    void Encode(PooledSegment& pooled);
    // Joins what is ready, and until `done` holds waits for a pool task to finish and joins again;
    // false when a segment failed.
    bool JoinUntil(const std::function<bool()>& done);
    // Joins every segment whose successor is done; false when a segment failed.
    bool JoinReady();
    // Joins the next segment in flight: at a seam, or by the current segment taking its place.
    bool JoinNext(PooledSegment& next);
    // The seam with `next`, if one fits: from its boundary back to its flush frame, then on past
    // the boundary as far as the current segment can be fed.
    std::optional<std::uint64_t> FindSeam(PooledSegment& next);
    // Joins at `seam` when the joined frames pass the check, and the next segment's frame there too.
    bool TryJoin(PooledSegment& next, std::uint64_t seam);
    // Feeds the current segment input from `next` until its slots are complete up to stream frame
    // `frame`; false when `next` has no more input for it or encoding failed.
    bool IndexThrough(PooledSegment& next, std::uint64_t frame);
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
    Phase phase = Phase::Inline;

    // The segment whose frames the stream takes now, from stream frame `currentFrom` on; the frames
    // before it have been given out. None while the rest of the first segment is on the pool.
    std::unique_ptr<LameSegment> current;
    std::uint64_t currentIndex = 0;
    std::uint64_t currentFrom = 0;

    std::uint64_t nextIndex = 1;
    std::deque<std::unique_ptr<PooledSegment>> filling;
    std::deque<std::unique_ptr<PooledSegment>> inFlight;

    std::vector<unsigned char> ready;
    std::size_t readyFrom = 0;
    FrameGridCheck check;
    JoinCounts joins;
    std::function<void(Batch, std::vector<unsigned char>&)> damageForTesting;

    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t completions = 0; // guarded by `mutex`
    WorkerGroup tasks;             // last, so that it is cancelled before the segments go
};

} // namespace cantrix
