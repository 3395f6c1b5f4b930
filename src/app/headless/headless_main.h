#pragma once

namespace cantrix {

// Runs `cantrix --encode [options] FILE...`: converts from a terminal without a window.
// Returns 0 when every file converted, 1 when any failed, 2 on a usage error, 128 + the signal's
// number when a signal stopped it (130 after Ctrl-C).
int RunHeadless(int argc, char** argv);

// Runs `cantrix --help` and `cantrix --version`, which need neither a display nor --encode.
int RunInformation(int argc, char** argv);

} // namespace cantrix
