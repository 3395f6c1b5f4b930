#pragma once
// One compression preview: encodes the first seconds of the input into the chosen format, keeps the
// Layer-3 bytes in memory and plays them through wave output, which decodes them while they play.
// Nothing is written to disk.
//
// Thread rules: built, started, cancelled and joined on the user-interface thread (by the preview
// dialog, through the PreviewHost the engine hands it to). The run owns its thread and what the
// thread touches, as a conversion run does; it drives its view from that thread and always ends
// with the view's PostClose. The report may be read once Join has returned.
#include "audio/format_entry.h"
#include "audio/input_description.h"
#include "engine/engine_targets.h"
#include "engine/preview_view.h"
#include "platform/auto_reset_event.h"
#include "platform/codec_manager.h"
#include "platform/riff_file.h"

#include <cstdint>
#include <string>
#include <thread>

namespace cantrix {

struct PreviewReport {
    // The string-table message of a failed preview, or 0.
    std::uint32_t message = 0;
    // The Layer-3 bytes encoded for playback; 0 when the preview was cancelled or failed before
    // playback. They were played if a sound device could be opened.
    std::uint32_t playedBytes = 0;
};

class PreviewRun {
public:
    // `input` is open and stands on the first PCM byte that `description` locates; `inputPath` is
    // what the view shows of it.
    PreviewRun(CodecManager& codecs, RiffFile input, const InputDescription& description,
               const FormatEntry& entry, std::string inputPath, MessagePresenter* presenter);
    // Cancels and waits for the thread.
    ~PreviewRun();
    PreviewRun(const PreviewRun&) = delete;
    PreviewRun& operator=(const PreviewRun&) = delete;

    // Starts the thread, which drives `view`; once per run.
    void Start(PreviewView& view);
    bool Started() const { return thread.joinable(); }
    // The preview stops after the pass in progress, or at once while it plays.
    void Cancel() { cancel.Set(); }
    void Join();
    const PreviewReport& Report() const { return report; }

private:
    void Body(PreviewView& view);

    CodecManager& codecs;
    RiffFile input;
    const InputDescription description;
    const FormatEntry entry;
    const std::string inputPath;
    MessagePresenter* const presenter;
    AutoResetEvent cancel;
    PreviewReport report;
    std::thread thread;
};

} // namespace cantrix
