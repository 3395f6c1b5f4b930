#pragma once
// Standard output as the output of a conversion (--output -, or any name of the same file).
#include <string>

namespace cantrix {

// The path of standard output's own file: what the check against overwriting the input compares.
inline constexpr const char* kStandardOutputPath = "/proc/self/fd/1";

// True when standard output is a regular file that stands at its start and does not append: the
// only standard output that can take a RIFF/WAVE file, whose sizes are written at its end.
bool StandardOutputTakesContainer();

// Whether `path` leads to the file that standard output is (/dev/stdout, /dev/fd/1,
// /proc/self/fd/1, or the file it was redirected to), so that the output is standard output.
bool NamesStandardOutput(const std::string& path);

} // namespace cantrix
