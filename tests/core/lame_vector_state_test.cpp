// LAME runs with the upper halves of the AVX registers unused, whatever left them in use on the
// calling thread or on the thread that started a pool thread. The LAME entry points the driver calls
// are wrapped here: each reads the state as it is entered (XGETBV with ECX=1, bit 2), and once a
// call returns, the wrapper leaves the state in use, as foreign code running between two LAME calls
// may do.
#include "drivers/segment_plan.h"
#include "support/segmented_runs.h"
#include "support/vector_state_probe.h"
#include "support/wav_builder.h"

#include <atomic>
#include <cstdint>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <mutex>
#include <set>
#include <thread>

namespace {

using cantrix::test::CanReadUpperStateInUse;
using cantrix::test::UpperStateInUse;

std::atomic<bool> probing{false};
std::atomic<int> entries{0};
std::atomic<int> entriesInUse{0};
std::mutex threadsLock;
std::set<std::thread::id> threads;

// Whether XGETBV reports which state components are in use (CPUID leaf 13, sub-leaf 1, EAX bit 2).
// All ones in the upper half of ymm15, so that every CPU marks the upper state in use. Built without
// AVX enabled, so that the compiler adds no vzeroupper of its own.
void UseUpperState()
{
    __asm__ volatile("vpcmpeqd %%ymm15, %%ymm15, %%ymm15" ::: "xmm15");
}

void ProbeEntry()
{
    if (!probing)
        return;
    ++entries;
    if (UpperStateInUse())
        ++entriesInUse;
    std::lock_guard lock(threadsLock);
    threads.insert(std::this_thread::get_id());
}

template <typename Function> Function Real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

lame_global_flags* lame_init()
{
    static const auto real = Real<lame_global_flags* (*)()>("lame_init");
    lame_global_flags* const flags = real();
    if (probing)
        UseUpperState();
    return flags;
}

int lame_init_params(lame_global_flags* flags)
{
    static const auto real = Real<int (*)(lame_global_flags*)>("lame_init_params");
    ProbeEntry();
    const int result = real(flags);
    if (probing)
        UseUpperState();
    return result;
}

int lame_encode_buffer_interleaved(lame_global_flags* flags, short int pcm[], int samples, unsigned char* mp3,
                                   int size)
{
    static const auto real = Real<int (*)(lame_global_flags*, short int[], int, unsigned char*, int)>(
        "lame_encode_buffer_interleaved");
    ProbeEntry();
    const int result = real(flags, pcm, samples, mp3, size);
    if (probing)
        UseUpperState();
    return result;
}

} // extern "C"

namespace cantrix {
namespace {

TEST(Segmented, LameIsEnteredWithTheUpperVectorStateUnused)
{
    if (!test::CanReadUpperStateInUse())
        GTEST_SKIP() << "this CPU has no AVX, or does not report the state in use";
    const WAVEFORMATEX source = test::PcmRecord(2, 44100, 16);
    const LameOutputFormat output{44100, 2, 128};
    const SegmentPlan plan = *PlanSegments(source, output);
    const std::vector<unsigned char> pcm = test::SineSamples16(
        44100, 2, static_cast<double>((plan.EncoderEnd(2) + 40) * plan.inputPerFrame) / 44100);

    probing = true;
    // The pool's threads start from this one and inherit its state.
    UseUpperState();
    ASSERT_TRUE(UpperStateInUse());
    const test::SegmentedRun run = test::EncodeInSegments(source, output, pcm, 2);
    probing = false;

    ASSERT_TRUE(run.ok);
    EXPECT_GE(threads.size(), 2u) << "the calling thread and a pool thread";
    EXPECT_GT(entries, 0);
    EXPECT_EQ(entriesInUse, 0) << "of " << entries << " calls into LAME";
}

} // namespace
} // namespace cantrix
