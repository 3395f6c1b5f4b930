#pragma once

namespace cantrix {

// Runs the windowed program: start-up checks, options, the main dialog, the write-back of the
// options. Returns the process's exit status.
int RunConverterApp(int argc, char** argv);

} // namespace cantrix
