#pragma once
// Converts the files of a terminal run, `jobs` at a time, each through its own engine and worker.
#include "app/headless/headless_options.h"
#include "platform/codec_manager.h"

#include <atomic>

namespace cantrix {

class HeadlessRunner {
public:
    // `interrupted` is set from outside (Ctrl-C); the runner then cancels every running
    // conversion, starts no more and waits for the workers.
    HeadlessRunner(CodecManager& codecs, const std::atomic<bool>& interrupted)
        : codecs(codecs), interrupted(interrupted)
    {
    }

    // The exit status: 0 all converted, 1 any failed, 130 interrupted.
    int Encode(const HeadlessOptions& options);
    // Prints each file's catalogue and the presets' choices. 0, or 1 when a file was rejected.
    int ListFormats(const HeadlessOptions& options);

private:
    CodecManager& codecs;
    const std::atomic<bool>& interrupted;
};

} // namespace cantrix
