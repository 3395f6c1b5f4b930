#pragma once
// One conversion: streams the input's PCM data through one codec stream in blocks and appends what
// the codec returns to the output, raw or in a RIFF/WAVE container.
//
// Thread rules: built, started, cancelled and joined on the user-interface thread. The run owns
// its thread and everything that thread touches: the input file (moved in), copies of the input's
// description, its tags and the destination format, the output writer it creates. It reaches out
// only through the targets (which are made for calls from a worker) and shares nothing else: the
// cancel event and the `ended` flag are its only shared state, and the report may be read once
// Ended() is true.
#include "audio/audio_tags.h"
#include "audio/format_entry.h"
#include "audio/input_description.h"
#include "engine/engine_targets.h"
#include "engine/run_report.h"
#include "platform/auto_reset_event.h"
#include "platform/codec_manager.h"
#include "platform/riff_file.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace cantrix {

// Where and in which container the output is written.
struct OutputTarget {
    std::string path;
    bool riff = true;
    // A descriptor the caller opened for writing and keeps open until the run has ended: written
    // through instead of opening `path`, which then only names it. -1: none.
    int descriptor = -1;
};

// The front end's targets as they stood when the run started.
struct RunTargets {
    ProgressTarget* progress = nullptr;
    NotifyTarget* notify = nullptr;
    std::uint32_t notifyMessage = 0;
    MessagePresenter* presenter = nullptr;
};

class ConversionRun {
public:
    // `input` is open and stands on the first PCM byte that `description` locates; the output
    // carries `tags`.
    ConversionRun(CodecManager& codecs, RiffFile input, const InputDescription& description, AudioTags tags,
                  const FormatEntry& destination, OutputTarget output, RunTargets targets);
    // Waits for the thread; a front end that must not wait for the whole run cancels first.
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    void Start();
    // The run stops after the pass in progress.
    void Cancel() { cancel.Set(); }
    // True once the report is final; the run's last act after that is the end message.
    bool Ended() const { return ended.load(std::memory_order_acquire); }
    void Join();
    // Only once Ended() is true.
    const RunReport& Report() const { return report; }

private:
    void Body();
    void Fail(std::uint32_t message);

    CodecManager& codecs;
    RiffFile input;
    const InputDescription description;
    const AudioTags tags;
    const FormatEntry destination;
    const OutputTarget output;
    const RunTargets targets;
    AutoResetEvent cancel;
    RunReport report;
    std::atomic<bool> ended{false};
    std::thread thread;
};

} // namespace cantrix
