// Preloaded into the program (LD_PRELOAD): the thread CPU time of every LAME encoder's set-up
// (lame_init_params), and whether the upper halves of the AVX registers were in use when LAME was
// entered, where the CPU reports that. At exit it prints one line to standard error: the first
// set-up (the encoder delay probe on the main thread), the median of the later ones (each segment's
// encoder), and how many set-ups met the upper state in use.
#include "support/vector_state_probe.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>
#include <mutex>
#include <vector>

struct lame_global_struct;

namespace {

using cantrix::test::CanReadUpperStateInUse;
using cantrix::test::UpperStateInUse;

std::mutex lock;
std::vector<double> setUpMs;
int inUse = 0;

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

__attribute__((destructor)) void Report()
{
    std::lock_guard guard(lock);
    if (setUpMs.empty())
        return;
    std::vector<double> later(setUpMs.begin() + 1, setUpMs.end());
    std::sort(later.begin(), later.end());
    const double median = later.empty() ? 0 : later[later.size() / 2];
    std::fprintf(stderr, "set-up CPU: first encoder %.2f ms, %zu later encoders median %.2f ms; ", setUpMs[0],
                 later.size(), median);
    if (CanReadUpperStateInUse())
        std::fprintf(stderr, "upper vector state in use at %d of %zu set-ups\n", inUse, setUpMs.size());
    else
        std::fprintf(stderr, "this CPU does not report the upper vector state\n");
}

} // namespace

extern "C" int lame_init_params(lame_global_struct* flags)
{
    static const auto real =
        reinterpret_cast<int (*)(lame_global_struct*)>(dlsym(RTLD_NEXT, "lame_init_params"));
    static const bool readable = CanReadUpperStateInUse();
    const bool dirty = readable && UpperStateInUse();
    const double start = ThreadCpuMs();
    const int result = real(flags);
    const double spent = ThreadCpuMs() - start;
    std::lock_guard guard(lock);
    setUpMs.push_back(spent);
    inUse += dirty ? 1 : 0;
    return result;
}
