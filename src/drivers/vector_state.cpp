#include "drivers/vector_state.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace cantrix {

#if defined(__x86_64__) || defined(__i386__)
namespace {
// vzeroupper exists only on CPUs with AVX; the rest of the driver is built for every x86-64.
__attribute__((target("avx"))) void ZeroUpper()
{
    _mm256_zeroupper();
}
} // namespace

void ClearUpperVectorState()
{
    // True only where the system also saves the AVX state, so the instruction is safe.
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        ZeroUpper();
}
#else
void ClearUpperVectorState()
{
}
#endif

} // namespace cantrix
