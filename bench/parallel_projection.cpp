// How one stream's encoding splits into what only the calling thread does and what the pool's
// threads share, measured with one pool thread, and the speed-up that projects for 2 to 16 threads.
// The calling thread's part: the first segment's first seconds (inline), and then taking the input,
// joining, checking each frame and copying the output. The pool's: each segment's set-up and
// encoding. The projection schedules the plan's segments on N threads in order, at most as many in
// flight as the stream allows, each at the measured cost per frame and set-up; the calling thread's
// rest runs beside them. With 2 threads it is checked against a measured run.
// Usage: parallel_projection [SECONDS...]   (song lengths, default 180 600)
#include "drivers/frame_grid_check.h"
#include "drivers/layer3_frames.h"
#include "drivers/segmented_encoder.h"
#include "platform/codec_driver.h"
#include "support/segmented_runs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <queue>
#include <vector>

namespace {

using namespace cantrix;

double CpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Run {
    double inlineCpu =
        0; // the calling thread, up to the end of its inline part (its encoder's set-up included)
    double callerCpu = 0; // the calling thread after that
    double poolCpu = 0;   // every pool thread
    double wall = 0;
    std::vector<unsigned char> bytes;
};

// The stream as the driver's caller drives it: blocks of kCallerBlockBytes, what is ready after each,
// then the end and a drain.
Run Encode(const WAVEFORMATEX& source, const LameOutputFormat& output, const std::vector<unsigned char>& pcm,
           unsigned threads)
{
    Run run;
    WorkerPool pool;
    pool.SetThreadLimit(threads);
    const SegmentPlan plan = *PlanSegments(source, output);
    const double wallStart = CpuSeconds(CLOCK_MONOTONIC);
    const double processStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double threadStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    std::unique_ptr<LamePcmEncoder> first;
    if (LamePcmEncoder::Open(source, output, first) != mmresult::kNoError)
        std::abort();
    SegmentedEncoder encoder(source, output, std::move(first), plan, pool);
    std::vector<unsigned char> destination(1 << 16);
    std::uint32_t produced = 0;
    const std::size_t frames = pcm.size() / source.nBlockAlign;
    const std::size_t blockFrames = kCallerBlockBytes / source.nBlockAlign;
    double inlineEnd = 0;
    for (std::size_t at = 0; at < frames; at += blockFrames) {
        const auto count = static_cast<std::uint32_t>(std::min(blockFrames, frames - at));
        if (!encoder.Take(pcm.data() + at * source.nBlockAlign, count) ||
            !encoder.Give(destination.data(), static_cast<std::uint32_t>(destination.size()), false,
                          produced))
            std::abort();
        run.bytes.insert(run.bytes.end(), destination.begin(), destination.begin() + produced);
        if (inlineEnd == 0 && at + count >= plan.InlineInput())
            inlineEnd = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    }
    if (!encoder.TakeEnd())
        std::abort();
    do {
        if (!encoder.Give(destination.data(), static_cast<std::uint32_t>(destination.size()), true, produced))
            std::abort();
        run.bytes.insert(run.bytes.end(), destination.begin(), destination.begin() + produced);
    } while (produced != 0);
    const double threadEnd = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    run.wall = CpuSeconds(CLOCK_MONOTONIC) - wallStart;
    run.inlineCpu = inlineEnd - threadStart;
    run.callerCpu = threadEnd - inlineEnd;
    run.poolCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart - (threadEnd - threadStart);
    return run;
}

// The median thread CPU time of one encoder's set-up.
double SetUpSeconds(const WAVEFORMATEX& source, const LameOutputFormat& output)
{
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        const double start = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        std::unique_ptr<LamePcmEncoder> encoder;
        if (LamePcmEncoder::Open(source, output, encoder) != mmresult::kNoError)
            std::abort();
        times.push_back(CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The frames each pool task encodes for a stream of `frames` output frames, in the order they
// are submitted.
std::vector<std::uint64_t> PooledFrames(const SegmentPlan& plan, std::uint64_t frames)
{
    std::vector<std::uint64_t> tasks;
    if (frames <= plan.inlineFrames)
        return tasks;
    tasks.push_back(std::min(frames, plan.EncoderEnd(0)) - plan.inlineFrames);
    for (std::uint64_t index = 1; frames > plan.EncoderEnd(index - 1); ++index)
        tasks.push_back(std::min(frames, plan.EncoderEnd(index)) - plan.EncoderStart(index));
    return tasks;
}

// When the last of `tasks` (seconds each) ends on `threads` threads, in order, a task starting only
// once the one `window` places before it has been joined (joins go in order).
double Makespan(const std::vector<double>& tasks, unsigned threads, std::size_t window)
{
    std::priority_queue<double, std::vector<double>, std::greater<>> free;
    for (unsigned i = 0; i < threads; ++i)
        free.push(0);
    std::vector<double> joined;
    double last = 0;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        double start = free.top();
        free.pop();
        if (i >= window)
            start = std::max(start, joined[i - window]);
        const double end = start + tasks[i];
        free.push(end);
        last = std::max(last, end);
        joined.push_back(last);
    }
    return last;
}

void Project(double seconds)
{
    const LameOutputFormat output{44100, 2, 128};
    const WAVEFORMATEX source{kWaveFormatPcm, 2, 44100, 44100 * 4, 4, 16, 0};
    const SegmentPlan plan = *PlanSegments(source, output);
    const std::vector<unsigned char> pcm = test::MusicLikePcm(44100, 2, seconds);
    const Run one = Encode(source, output, pcm, 1);
    const double setUp = SetUpSeconds(source, output);

    Layer3Stream stream;
    stream.Bytes() = one.bytes;
    stream.Index();
    const double checkStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    FrameGridCheck check(output);
    const bool checked = check.Accept(one.bytes.data(), one.bytes.size(), 0, stream.FrameEnd());
    const double checkCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - checkStart;

    const std::vector<std::uint64_t> pooled = PooledFrames(plan, stream.FrameEnd());
    std::uint64_t pooledTotal = 0;
    for (const std::uint64_t frames : pooled)
        pooledTotal += frames;
    const double setUps = setUp * static_cast<double>(pooled.size() - 1);
    const double perFrame = (one.poolCpu - setUps) / static_cast<double>(pooledTotal);
    std::vector<double> tasks;
    for (std::size_t i = 0; i < pooled.size(); ++i)
        tasks.push_back(static_cast<double>(pooled[i]) * perFrame + (i == 0 ? 0 : setUp));

    const double total = one.inlineCpu + one.callerCpu + one.poolCpu;
    auto projected = [&](unsigned threads) {
        const std::size_t window = SegmentedEncoder::InFlightLimit(plan, source.nBlockAlign, threads);
        return one.inlineCpu + std::max(one.callerCpu, Makespan(tasks, threads, window));
    };
    std::printf("%.0f s song, 44.1 kHz stereo at 128 kbit/s, %llu frames, %zu pool tasks; CPU with one pool "
                "thread %.3f s:\n",
                seconds, static_cast<unsigned long long>(stream.FrameEnd()), pooled.size(), total);
    std::printf(
        "  serial: inline part %.1f ms (%.2f%%), the calling thread's taking, joining and copying %.1f ms "
        "(%.2f%%, of it the frame check %.2f ms%s)\n",
        one.inlineCpu * 1e3, 100 * one.inlineCpu / total, one.callerCpu * 1e3, 100 * one.callerCpu / total,
        checkCpu * 1e3, checked ? "" : ", CHECK FAILED");
    std::printf(
        "  pool: set-up %.2f ms a segment (%.2f%% in all), %.1f us a frame, %.1f%% of the frames encoded "
        "twice\n",
        setUp * 1e3, 100 * setUps / total, perFrame * 1e6,
        100.0 * static_cast<double>(pooledTotal + plan.inlineFrames - stream.FrameEnd()) /
            static_cast<double>(stream.FrameEnd()));
    std::printf("  projected speed-up over one thread:");
    for (const unsigned threads : {2u, 4u, 8u, 16u})
        std::printf("  %u threads %.2f", threads, projected(1) / projected(threads));
    const Run two = Encode(source, output, pcm, 2);
    std::printf(
        "\n  measured: 1 thread %.3f s (projected %.3f s), 2 threads %.3f s (projected %.3f s, %s bytes)\n",
        one.wall, projected(1), two.wall, projected(2), two.bytes == one.bytes ? "same" : "DIFFERENT");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<double> lengths;
    for (int i = 1; i < argc; ++i)
        lengths.push_back(std::strtod(argv[i], nullptr));
    if (lengths.empty())
        lengths = {180, 600};
    for (const double seconds : lengths)
        Project(seconds);
    return 0;
}
