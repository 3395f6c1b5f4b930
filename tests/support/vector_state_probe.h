#pragma once
// Reads whether the upper halves of the AVX registers are marked in use on the calling thread
// (XGETBV with ECX=1, bit 2), for the test and the benchmark that check LAME is entered without.
#include <cpuid.h>
#include <immintrin.h>

namespace cantrix::test {

// Whether the CPU has AVX and XGETBV reports the state in use (CPUID leaf 13, sub-leaf 1, EAX bit 2).
inline bool CanReadUpperStateInUse()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __builtin_cpu_supports("avx") && __get_cpuid_count(13, 1, &eax, &ebx, &ecx, &edx) != 0 &&
           (eax & 1u << 2) != 0;
}

__attribute__((target("xsave"))) inline bool UpperStateInUse()
{
    return (_xgetbv(1) & 1u << 2) != 0;
}

} // namespace cantrix::test
