#include "drivers/segmented_encoder.h"

#include "drivers/segment_seam.h"
#include "platform/codec_driver.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace cantrix {

namespace {
// Beyond the threads, the joined segment waiting for its successor and one queued segment keep
// every thread busy.
constexpr std::size_t kSpareInFlight = 2;

// The worst output left when the input ends: every segment in flight and the one being joined, of
// the format that writes the most, in the longest segments, in the smallest destination a caller
// gets for its blocks (of the widest sample frames we read: 64-bit float stereo).
constexpr std::uint64_t kWidestFrameBytes = 16;
constexpr std::uint64_t WorstDrainPasses()
{
    const std::uint64_t smallestDestination =
        LamePcmEncoder::OutputBound(kCallerBlockBytes / kWidestFrameBytes) + LamePcmEncoder::kFlushBound;
    std::uint64_t worst = 0;
    for (const LameOutputFormat& format : lame_outputs::All()) {
        const std::uint64_t bytes =
            (SegmentedEncoder::kMaxInFlight + 2) *
            PlanSegments(format.sampleRate, format.channels * 2u, format)->LongestPooled() *
            layer3::SlotBytes(format.sampleRate, format.kbps, true);
        worst = std::max(worst, bytes / smallestDestination + 1);
    }
    return worst;
}
static_assert(WorstDrainPasses() <= kMaxEndPasses / 4,
              "a drain must end well within the END passes callers allow");

} // namespace

std::size_t SegmentedEncoder::InFlightLimit(const std::optional<SegmentPlan>& plan, std::uint32_t frameBytes,
                                            unsigned threads)
{
    if (!plan)
        return 0;
    // The segments in flight and the two filling (they overlap by the pre-roll and post-roll)
    // share the stream's PCM budget.
    const std::uint64_t segmentBytes = plan->LongestPooled() * plan->inputPerFrame * frameBytes;
    const std::uint64_t fit = SegmentPlan::kStreamPcmBytes / segmentBytes;
    const std::uint64_t byBudget = fit > 3 ? fit - 2 : 1;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>({std::uint64_t{threads} + kSpareInFlight, kMaxInFlight, byBudget}));
}

SegmentedEncoder::SegmentedEncoder(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                   std::unique_ptr<LamePcmEncoder> first, std::optional<SegmentPlan> plan,
                                   WorkerPool& pool)
    : source(source), output(output), plan(plan), frameBytes(first->FrameBytes()),
      inFlightLimit(InFlightLimit(plan, first->FrameBytes(), pool.ThreadLimit())), check(output), tasks(pool)
{
    current = std::make_unique<LameSegment>(0, plan ? plan->inputPerFrame : 1, frameBytes);
    current->SetEncoder(std::move(first));
}

SegmentedEncoder::~SegmentedEncoder()
{
    stop = true;
    tasks.Cancel();
}

bool SegmentedEncoder::Take(const unsigned char* pcm, std::uint32_t frames)
{
    if (phase == Phase::Failed)
        return false;
    const std::uint64_t start = inputFrames;
    inputFrames += frames;
    if (phase == Phase::Inline) {
        const std::uint64_t end = plan ? plan->InlineInput() : std::numeric_limits<std::uint64_t>::max();
        if (!current->Feed(pcm, std::min<std::uint64_t>(frames, end - start)) || !ReleaseSettled())
            return Fail();
        if (inputFrames >= end)
            PoolTheFirstSegment();
    }
    if (plan && phase == Phase::Segmenting && !FillSegments(pcm, start, frames))
        return Fail();
    return true;
}

void SegmentedEncoder::PoolTheFirstSegment()
{
    current->HoldPcmFromHere();
    auto first = std::make_unique<PooledSegment>();
    first->segment = std::move(current);
    first->segment->Pcm().reserve((plan->EncoderEnd(0) - plan->inlineFrames) * plan->inputPerFrame *
                                  frameBytes);
    filling.push_back(std::move(first));
    phase = Phase::Segmenting;
}

bool SegmentedEncoder::FillSegments(const unsigned char* pcm, std::uint64_t start, std::uint64_t frames)
{
    const std::uint64_t end = start + frames;
    while (plan->EncoderStart(nextIndex) * plan->inputPerFrame < end) {
        auto pooled = std::make_unique<PooledSegment>();
        pooled->index = nextIndex;
        pooled->segment =
            std::make_unique<LameSegment>(plan->EncoderStart(nextIndex), plan->inputPerFrame, frameBytes);
        // Its whole PCM at once: grown piece by piece, the buffer could take twice the budget.
        pooled->segment->Pcm().reserve(plan->EncoderFrames() * plan->inputPerFrame * frameBytes);
        filling.push_back(std::move(pooled));
        ++nextIndex;
    }
    // Segments overlap by their pre-roll, so the same input may go to two of them.
    for (const auto& pooled : filling) {
        std::vector<unsigned char>& buffer = pooled->segment->Pcm();
        const std::uint64_t first = std::max(start, pooled->segment->PcmEnd());
        const std::uint64_t last = std::min(end, plan->EncoderEnd(pooled->index) * plan->inputPerFrame);
        if (first < last) {
            const unsigned char* const bytes = pcm + (first - start) * frameBytes;
            buffer.insert(buffer.end(), bytes, bytes + (last - first) * frameBytes);
        }
    }
    // A segment goes to the pool once the input has gone past its end: a stream that ends right
    // there makes it the last one, which ends the stream itself.
    while (!filling.empty() && end > plan->EncoderEnd(filling.front()->index) * plan->inputPerFrame) {
        std::unique_ptr<PooledSegment> full = std::move(filling.front());
        filling.pop_front();
        if (!Submit(std::move(full), false))
            return false;
    }
    return true;
}

bool SegmentedEncoder::TakeEnd()
{
    if (phase == Phase::Failed)
        return false;
    if (phase == Phase::Inline) {
        // The input ended within the calling thread's part: the stream is the serial encode.
        phase = Phase::LastSegment;
        return current->Finish() || Fail();
    }
    // The oldest segment still filling takes the rest; any later one is not needed.
    if (filling.empty())
        return Fail();
    std::unique_ptr<PooledSegment> last = std::move(filling.front());
    filling.clear();
    phase = Phase::Ended;
    return Submit(std::move(last), true) || Fail();
}

bool SegmentedEncoder::Submit(std::unique_ptr<PooledSegment> pooled, bool final)
{
    if (!JoinUntil([&] { return inFlight.size() < inFlightLimit; }))
        return false;
    pooled->final = final;
    PooledSegment& queued = *pooled;
    {
        std::lock_guard lock(mutex);
        queued.state = PoolState::Queued;
    }
    inFlight.push_back(std::move(pooled));
    tasks.Submit([this, &queued] { Encode(queued); });
    return true;
}

void SegmentedEncoder::Encode(PooledSegment& pooled)
{
    bool ok = true;
    std::optional<std::uint64_t> flushFrame;
    // The first segment goes on with the encoder the calling thread started; every later one starts
    // its own, which empties its reservoir before the segment's first frame.
    if (pooled.index != 0) {
        std::unique_ptr<LamePcmEncoder> lame;
        ok = LamePcmEncoder::Open(source, output, lame) == mmresult::kNoError;
        pooled.segment->SetEncoder(std::move(lame));
        flushFrame = plan->FlushFrame(pooled.index);
    }
    ok = ok && pooled.segment->EncodePcm(flushFrame, pooled.final, stop);
    std::lock_guard lock(mutex);
    pooled.state = ok ? PoolState::Done : PoolState::Failed;
    ++completions;
    changed.notify_all();
}

bool SegmentedEncoder::JoinUntil(const std::function<bool()>& done)
{
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(mutex);
            seen = completions;
        }
        if (!JoinReady())
            return false;
        if (done())
            return true;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return completions != seen; });
    }
}

bool SegmentedEncoder::Give(unsigned char* destination, std::uint32_t capacity, bool drain,
                            std::uint32_t& produced)
{
    produced = 0;
    const bool joined =
        JoinUntil([&] { return !drain || ready.size() - readyFrom >= capacity || phase == Phase::Complete; });
    if (!joined)
        return Fail();
    produced = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, ready.size() - readyFrom));
    if (produced != 0)
        std::memcpy(destination, ready.data() + readyFrom, produced);
    readyFrom += produced;
    // The given bytes are dropped once they are the larger part, so that copying stays cheap.
    if (readyFrom > ready.size() / 2) {
        ready.erase(ready.begin(), ready.begin() + static_cast<std::ptrdiff_t>(readyFrom));
        readyFrom = 0;
    }
    return true;
}

bool SegmentedEncoder::GiveOut(Batch kind, std::vector<unsigned char>& batch, std::uint64_t end)
{
    if (damageForTesting)
        damageForTesting(kind, batch);
    if (!check.Accept(batch.data(), batch.size(), currentFrom, end - currentFrom))
        return false;
    ready.insert(ready.end(), batch.begin(), batch.end());
    currentFrom = end;
    current->DropBefore(end);
    return true;
}

bool SegmentedEncoder::ReleaseSettled()
{
    std::uint64_t end = current->IndexedEnd();
    if (plan)
        end = std::min(end, plan->SettledBefore(currentIndex + 1));
    if (end <= currentFrom)
        return true;
    std::vector<unsigned char> batch;
    AppendFrames(current->Output(), currentFrom, end, batch);
    return GiveOut(Batch::Settled, batch, end);
}

bool SegmentedEncoder::ReleaseLast()
{
    const Layer3Stream& last = current->Output();
    // The encoder ends its stream on whole frames; anything after them is not a frame.
    if (last.ByteEnd() != last.FrameOffset(last.FrameEnd()))
        return false;
    std::vector<unsigned char> batch;
    AppendFrames(last, currentFrom, last.FrameEnd(), batch);
    if (!GiveOut(Batch::Last, batch, last.FrameEnd()))
        return false;
    current.reset();
    phase = Phase::Complete;
    return true;
}

bool SegmentedEncoder::JoinReady()
{
    while (phase != Phase::Complete) {
        if (phase == Phase::Failed)
            return false;
        if (phase == Phase::Inline)
            return true; // the calling thread gives out the first segment's frames as it encodes them
        if (current) {
            if (!ReleaseSettled())
                return false;
            if (phase == Phase::LastSegment)
                return ReleaseLast();
        }
        if (inFlight.empty())
            return true;
        PooledSegment& next = *inFlight.front();
        {
            std::lock_guard lock(mutex);
            if (next.state == PoolState::Failed)
                return false;
            if (next.state != PoolState::Done)
                return true;
        }
        if (!JoinNext(next))
            return false;
    }
    return true;
}

bool SegmentedEncoder::JoinNext(PooledSegment& next)
{
    if (next.index == currentIndex) {
        // The rest of the current segment, back from the pool.
        current = std::move(next.segment);
        current->ReleasePcm();
    } else if (std::optional<std::uint64_t> seam = FindSeam(next)) {
        ++joins.seams;
        joins.atBoundary += *seam == plan->Boundary(next.index) ? 1 : 0;
        joins.ranOnFrames += *seam > plan->Boundary(next.index) ? *seam - plan->Boundary(next.index) : 0;
        current = std::move(next.segment);
        current->ReleasePcm();
        current->DropBefore(*seam);
    } else {
        if (phase == Phase::Failed)
            return false;
        // The current segment has taken all of the next one's input: it takes that segment's place.
        if (next.final && !current->Finish())
            return Fail();
        ++joins.takenOver;
    }
    currentIndex = next.index;
    if (next.final)
        phase = Phase::LastSegment;
    inFlight.pop_front();
    return true;
}

std::optional<std::uint64_t> SegmentedEncoder::FindSeam(PooledSegment& next)
{
    const std::uint64_t boundary = plan->Boundary(next.index);
    if (!IndexThrough(next, boundary))
        return std::nullopt;
    for (std::uint64_t candidate = boundary; candidate >= plan->FlushFrame(next.index); --candidate) {
        if (TryJoin(next, candidate))
            return candidate;
    }
    // No seam up to the boundary: the current segment runs on into the next one's frames until one
    // fits.
    for (std::uint64_t candidate = boundary + 1; IndexThrough(next, candidate); ++candidate) {
        if (TryJoin(next, candidate))
            return candidate;
    }
    return std::nullopt;
}

bool SegmentedEncoder::TryJoin(PooledSegment& next, std::uint64_t seam)
{
    const Layer3Stream& after = next.segment->Output();
    if (!SeamFits(current->Output(), currentFrom, after, seam))
        return false;
    std::vector<unsigned char> batch;
    AppendUpToSeam(current->Output(), currentFrom, after, seam, batch);
    // The next segment's frame at the seam reaches back into the bytes just joined: it is checked
    // behind them before anything is given out.
    if (damageForTesting)
        damageForTesting(Batch::Seam, batch);
    FrameGridCheck joined = check;
    if (!joined.Accept(batch.data(), batch.size(), currentFrom, seam - currentFrom))
        return false;
    const Layer3Frame& taken = after.Frame(seam);
    if (FrameGridCheck ahead = joined; !ahead.Accept(after.At(taken.offset), taken.length, seam, 1))
        return false;
    check = joined;
    ready.insert(ready.end(), batch.begin(), batch.end());
    currentFrom = seam;
    return true;
}

bool SegmentedEncoder::IndexThrough(PooledSegment& next, std::uint64_t frame)
{
    const std::vector<unsigned char>& pcm = next.segment->Pcm();
    const std::uint64_t pcmStart = next.segment->PcmStart();
    while (current->IndexedEnd() < frame) {
        // The current segment has always been given the input up to where the next one's starts.
        if (current->NextInput() < pcmStart)
            return Fail();
        const std::uint64_t offset = current->NextInput() - pcmStart;
        const std::uint64_t available = pcm.size() / frameBytes;
        if (offset >= available)
            return false;
        const std::uint64_t count = std::min<std::uint64_t>(available - offset, plan->inputPerFrame);
        if (!current->Feed(pcm.data() + offset * frameBytes, count))
            return Fail();
    }
    return true;
}

} // namespace cantrix
