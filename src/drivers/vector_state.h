#pragma once
// Our threads enter LAME with the upper halves of the AVX registers cleared.
//
// LAME's SSE code and libm's pow (22,895 calls in every encoder's set-up) pay the AVX-SSE transition
// penalty while a thread's upper vector state is marked in use: set-up then costs about ten times
// as much and encoding about 13% more. Qt 6.4's string hash (its VAES path, taken for strings over
// 32 bytes, as QSettings hashes its keys) leaves that state in use without a vzeroupper, and the
// AVX-512 string functions of glibc never clear it; threads inherit it from the thread that starts
// them. Clearing it where LAME is called costs one instruction.

namespace cantrix {

// Marks the upper halves of the vector registers unused, on CPUs with AVX; elsewhere nothing.
void ClearUpperVectorState();

} // namespace cantrix
