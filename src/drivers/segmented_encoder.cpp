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
            PlanSegments(format.sampleRate, format.channels * 2u, format)->EncoderFrames() *
            layer3::SlotBytes(format.sampleRate, format.kbps, true);
        worst = std::max(worst, bytes / smallestDestination + 1);
    }
    return worst;
}
static_assert(WorstDrainPasses() <= kMaxEndPasses / 4,
              "a drain must end well within the END passes callers allow");

std::size_t LimitFor(const std::optional<SegmentPlan>& plan, std::uint32_t frameBytes, unsigned threads)
{
    if (!plan)
        return 0;
    // The segments in flight and the two filling (they overlap by the pre-roll and post-roll)
    // share the stream's PCM budget.
    const std::uint64_t segmentBytes = plan->EncoderFrames() * plan->inputPerFrame * frameBytes;
    const std::uint64_t fit = SegmentPlan::kStreamPcmBytes / segmentBytes;
    const std::uint64_t byBudget = fit > 3 ? fit - 2 : 1;
    return static_cast<std::size_t>(std::min<std::uint64_t>(
        {std::uint64_t{threads} + kSpareInFlight, SegmentedEncoder::kMaxInFlight, byBudget}));
}
} // namespace

SegmentedEncoder::SegmentedEncoder(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                   std::unique_ptr<LamePcmEncoder> first, std::optional<SegmentPlan> plan,
                                   WorkerPool& pool)
    : source(source), output(output), plan(plan), frameBytes(first->FrameBytes()),
      inFlightLimit(LimitFor(plan, first->FrameBytes(), pool.ThreadLimit())), check(output), tasks(pool)
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
    if (failed)
        return false;
    const std::uint64_t start = inputFrames;
    inputFrames += frames;
    if (firstFeeding) {
        const std::uint64_t end =
            plan ? plan->EncoderEnd(0) * plan->inputPerFrame : std::numeric_limits<std::uint64_t>::max();
        if (start < end && !current->Feed(pcm, std::min<std::uint64_t>(frames, end - start)))
            failed = true;
        if (inputFrames >= end)
            firstFeeding = false;
        if (!failed && !ReleaseSettled())
            failed = true;
    }
    if (!failed && plan && !FillSegments(pcm, start, frames))
        failed = true;
    return !failed;
}

bool SegmentedEncoder::FillSegments(const unsigned char* pcm, std::uint64_t start, std::uint64_t frames)
{
    const std::uint64_t end = start + frames;
    while (plan->EncoderStart(nextIndex) * plan->inputPerFrame < end) {
        auto slot = std::make_unique<Slot>();
        slot->index = nextIndex;
        slot->segment =
            std::make_unique<LameSegment>(plan->EncoderStart(nextIndex), plan->inputPerFrame, frameBytes);
        // Its whole PCM at once: grown piece by piece, the buffer could take twice the budget.
        slot->segment->Pcm().reserve(plan->EncoderFrames() * plan->inputPerFrame * frameBytes);
        filling.push_back(std::move(slot));
        ++nextIndex;
    }
    // Segments overlap by their pre-roll, so the same input may go to two of them.
    for (const auto& slot : filling) {
        std::vector<unsigned char>& buffer = slot->segment->Pcm();
        const std::uint64_t first = std::max(start, slot->segment->PcmEnd());
        const std::uint64_t last = std::min(end, plan->EncoderEnd(slot->index) * plan->inputPerFrame);
        if (first < last) {
            const unsigned char* const bytes = pcm + (first - start) * frameBytes;
            buffer.insert(buffer.end(), bytes, bytes + (last - first) * frameBytes);
        }
    }
    while (!filling.empty() && filling.front()->segment->PcmEnd() >=
                                   plan->EncoderEnd(filling.front()->index) * plan->inputPerFrame) {
        std::unique_ptr<Slot> full = std::move(filling.front());
        filling.pop_front();
        if (!Submit(std::move(full), false))
            return false;
    }
    return true;
}

bool SegmentedEncoder::TakeEnd()
{
    if (failed)
        return false;
    ended = true;
    const bool firstIsLast = !plan || inputFrames <= plan->EncoderEnd(0) * plan->inputPerFrame;
    if (firstIsLast) {
        filling.clear();
        firstFeeding = false;
        currentFinal = true;
        if (!current->Finish()) {
            failed = true;
            return false;
        }
        return true;
    }
    // The oldest segment still filling takes the rest; any later one is not needed.
    if (filling.empty()) {
        failed = true;
        return false;
    }
    std::unique_ptr<Slot> last = std::move(filling.front());
    filling.clear();
    if (!Submit(std::move(last), true)) {
        failed = true;
        return false;
    }
    return true;
}

bool SegmentedEncoder::Submit(std::unique_ptr<Slot> slot, bool final)
{
    while (inFlight.size() >= inFlightLimit) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(mutex);
            seen = completions;
        }
        const std::size_t before = inFlight.size();
        if (!JoinReady())
            return false;
        if (inFlight.size() < before)
            continue;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return completions != seen; });
    }
    slot->final = final;
    Slot& queued = *slot;
    {
        std::lock_guard lock(mutex);
        queued.state = SlotState::Queued;
    }
    inFlight.push_back(std::move(slot));
    tasks.Submit([this, &queued] { Encode(queued); });
    return true;
}

void SegmentedEncoder::Encode(Slot& slot)
{
    std::unique_ptr<LamePcmEncoder> lame;
    bool ok = LamePcmEncoder::Open(source, output, lame) == mmresult::kNoError;
    if (ok) {
        slot.segment->SetEncoder(std::move(lame));
        ok = slot.segment->EncodePcm(plan->FlushFrame(slot.index), slot.final, stop);
    }
    std::lock_guard lock(mutex);
    slot.state = ok ? SlotState::Done : SlotState::Failed;
    ++completions;
    changed.notify_all();
}

bool SegmentedEncoder::Give(unsigned char* destination, std::uint32_t capacity, bool drain,
                            std::uint32_t& produced)
{
    produced = 0;
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(mutex);
            seen = completions;
        }
        if (!JoinReady()) {
            failed = true;
            return false;
        }
        if (!drain || ready.size() - readyFrom >= capacity || complete)
            break;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return completions != seen; });
    }
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
    complete = true;
    return true;
}

bool SegmentedEncoder::JoinReady()
{
    if (failed)
        return false;
    while (!complete) {
        if (firstFeeding && !ended)
            return true; // the first segment is still being encoded
        if (!ReleaseSettled())
            return false;
        if (currentFinal)
            return ReleaseLast();
        if (inFlight.empty())
            return true;
        Slot& next = *inFlight.front();
        {
            std::lock_guard lock(mutex);
            if (next.state == SlotState::Failed)
                return false;
            if (next.state != SlotState::Done)
                return true;
        }
        if (!JoinNext(next))
            return false;
    }
    return true;
}

bool SegmentedEncoder::JoinNext(Slot& next)
{
    const std::uint64_t boundary = plan->Boundary(next.index);
    std::optional<std::uint64_t> seam;
    if (IndexThrough(next, boundary)) {
        for (std::uint64_t candidate = boundary; candidate >= plan->FlushFrame(next.index) && !seam;
             --candidate) {
            if (TryJoin(next, candidate))
                seam = candidate;
        }
        // No seam up to the boundary: the current segment runs on into the next one's frames until
        // one fits.
        for (std::uint64_t candidate = boundary + 1; !seam && !failed && IndexThrough(next, candidate);
             ++candidate) {
            if (TryJoin(next, candidate))
                seam = candidate;
        }
    }
    if (failed)
        return false;
    if (!seam) {
        // It has taken all of the next segment's input: it takes that segment's place.
        if (next.final && !current->Finish())
            return false;
        ++joins.takenOver;
        currentIndex = next.index;
        currentFinal = next.final;
        inFlight.pop_front();
        return true;
    }
    ++joins.seams;
    joins.atBoundary += *seam == boundary ? 1 : 0;
    joins.ranOnFrames += *seam > boundary ? *seam - boundary : 0;
    current = std::move(next.segment);
    current->ReleasePcm();
    current->DropBefore(*seam);
    currentIndex = next.index;
    currentFinal = next.final;
    inFlight.pop_front();
    return true;
}

bool SegmentedEncoder::TryJoin(Slot& next, std::uint64_t seam)
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

bool SegmentedEncoder::IndexThrough(Slot& next, std::uint64_t frame)
{
    const std::vector<unsigned char>& pcm = next.segment->Pcm();
    const std::uint64_t pcmStart = next.segment->FirstFrame() * plan->inputPerFrame;
    while (current->IndexedEnd() < frame && !failed) {
        // The current segment has always been given the input up to where the next one's starts.
        if (current->NextInput() < pcmStart) {
            failed = true;
            break;
        }
        const std::uint64_t offset = current->NextInput() - pcmStart;
        const std::uint64_t available = pcm.size() / frameBytes;
        if (offset >= available)
            return false;
        const std::uint64_t count = std::min<std::uint64_t>(available - offset, plan->inputPerFrame);
        if (!current->Feed(pcm.data() + offset * frameBytes, count))
            failed = true;
    }
    return !failed;
}

} // namespace cantrix
