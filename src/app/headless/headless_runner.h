#pragma once
// Converts the files of a terminal run, `jobs` at a time, each through its own engine and worker.
#include "app/headless/headless_options.h"
#include "platform/codec_manager.h"

#include <atomic>

namespace cantrix {

class HeadlessRunner {
public:
    // `stopSignal` is set from outside to the number of a signal that stops the run (Ctrl-C,
    // SIGTERM, SIGHUP); the runner then cancels every running conversion, starts no more and
    // waits for the workers.
    HeadlessRunner(CodecManager& codecs, const std::atomic<int>& stopSignal)
        : codecs(codecs), stopSignal(stopSignal)
    {
    }

    // The exit status: 0 all converted, 1 any failed or the folders held no .wav file, 128 + the
    // signal's number when stopped, 141 (as SIGPIPE would) when standard output's reader left.
    int Encode(const HeadlessOptions& options);
    // Prints each file's catalogue and the presets' choices. 0, or 1 when a file was rejected.
    int ListFormats(const HeadlessOptions& options);

private:
    CodecManager& codecs;
    const std::atomic<int>& stopSignal;
};

} // namespace cantrix
