#include "drivers/segmented_encoder.h"

#include "drivers/segment_seam.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace cantrix {

namespace {
// The seam after the first segment lies at or after its flush frame and changes at most the bytes
// that a main_data_begin can reach back (511), which take fewer than 16 slots at any bit rate we
// offer (the smallest slot, 8 kBit/s stereo at 12 kHz, holds 27 bytes of main data). Before that
// the first segment's bytes are given as they come.
constexpr std::uint64_t kFirstSegmentHeldFrames = 16;

// Beyond the threads, the joined segment waiting for its successor and one queued segment keep
// every thread busy.
constexpr std::size_t kSpareInFlight = 2;
// PCM held by the segments of one stream in flight, at most.
constexpr std::uint64_t kPcmBudgetBytes = 192ull << 20;

// The worst output left when the input ends: every segment in flight and the one being joined, at
// the largest frame we write (320 kBit/s at 32 kHz: 1440 bytes), in the smallest destination a
// caller gets for a 2048-byte block (14400 bytes). Callers allow 4096 flushing passes.
constexpr std::uint64_t kLargestFrameBytes = 1440;
constexpr std::uint64_t kSmallestDestination = 14400;
constexpr std::uint64_t kMaxDrainPasses =
    (SegmentedEncoder::kMaxInFlight + 2) *
        (SegmentPlan::kSegmentFrames + SegmentPlan::kPreRollFrames + SegmentPlan::kPostRollFrames) *
        kLargestFrameBytes / kSmallestDestination +
    1;
static_assert(kMaxDrainPasses <= 1024, "a drain must end well within the flushing passes callers allow");

std::size_t LimitFor(const std::optional<SegmentPlan>& plan, std::uint32_t frameBytes, unsigned threads)
{
    if (!plan)
        return 0;
    const std::uint64_t segmentBytes =
        (SegmentPlan::kSegmentFrames + SegmentPlan::kPreRollFrames + SegmentPlan::kPostRollFrames) *
        plan->inputPerFrame * frameBytes;
    const std::uint64_t byBudget = std::max<std::uint64_t>(2, kPcmBudgetBytes / segmentBytes);
    return static_cast<std::size_t>(std::min<std::uint64_t>(
        {std::uint64_t{threads} + kSpareInFlight, SegmentedEncoder::kMaxInFlight, byBudget}));
}
} // namespace

SegmentedEncoder::SegmentedEncoder(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                   std::unique_ptr<LamePcmEncoder> first, std::optional<SegmentPlan> plan,
                                   WorkerPool& pool)
    : source(source), output(output), plan(plan), frameBytes(first->FrameBytes()),
      inFlightLimit(LimitFor(plan, first->FrameBytes(), pool.ThreadLimit())), tasks(pool)
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
        ReleaseFirstSegment();
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

void SegmentedEncoder::ReleaseFirstSegment()
{
    const std::vector<unsigned char>& bytes = current->Output();
    std::size_t until = bytes.size();
    if (plan) {
        const std::uint64_t held = plan->FlushFrame(1) - kFirstSegmentHeldFrames;
        // Bytes past the last indexed slot belong to the frame after it; they wait from the held
        // frame on.
        const auto& frames = current->Frames().index.Frames();
        if (frames.size() >= held)
            until = std::min(until, frames[held - 1].offset + frames[held - 1].length);
        currentFrom = held;
    }
    if (until > firstReleased) {
        ready.insert(ready.end(), bytes.begin() + static_cast<std::ptrdiff_t>(firstReleased),
                     bytes.begin() + static_cast<std::ptrdiff_t>(until));
        firstReleased = until;
    }
}

bool SegmentedEncoder::JoinReady()
{
    if (failed)
        return false;
    while (!complete) {
        if (firstFeeding && !ended)
            return true; // the first segment is still being encoded
        if (currentFinal) {
            if (currentIndex == 0) {
                const std::vector<unsigned char>& bytes = current->Output();
                ready.insert(ready.end(), bytes.begin() + static_cast<std::ptrdiff_t>(firstReleased),
                             bytes.end());
            } else {
                AppendToEnd(current->Frames(), currentFrom, ready);
            }
            current.reset();
            complete = true;
            return true;
        }
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
    const SegmentFrames after = next.segment->Frames();
    const std::uint64_t boundary = plan->Boundary(next.index);
    std::optional<std::uint64_t> seam;
    if (IndexThrough(next, boundary)) {
        for (std::uint64_t candidate = boundary; candidate >= plan->FlushFrame(next.index) && !seam;
             --candidate) {
            if (SeamFits(current->Frames(), currentFrom, after, candidate))
                seam = candidate;
        }
        // No seam up to the boundary: the current segment runs on into the next one's frames until
        // one fits.
        for (std::uint64_t candidate = boundary + 1; !seam && IndexThrough(next, candidate); ++candidate) {
            if (SeamFits(current->Frames(), currentFrom, after, candidate))
                seam = candidate;
        }
    }
    if (failed)
        return false;
    if (!seam) {
        // It has taken all of the next segment's input: it takes that segment's place.
        if (next.final && !current->Finish())
            return false;
        currentIndex = next.index;
        currentFinal = next.final;
        inFlight.pop_front();
        return true;
    }
    AppendUpToSeam(current->Frames(), currentFrom, after, *seam, ready);
    current = std::move(next.segment);
    current->ReleasePcm();
    currentIndex = next.index;
    currentFrom = *seam;
    currentFinal = next.final;
    inFlight.pop_front();
    return true;
}

bool SegmentedEncoder::IndexThrough(Slot& next, std::uint64_t frame)
{
    const std::vector<unsigned char>& pcm = next.segment->Pcm();
    const std::uint64_t pcmStart = next.segment->FirstFrame() * plan->inputPerFrame;
    while (current->IndexedEnd() < frame && !failed) {
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
