#pragma once
// Stand-ins for the preview dialog in tests without windows: a view that records what the preview
// worker showed, and a host that runs the worker on a thread of its own, as the dialog does.
#include "engine/preview_host.h"
#include "engine/preview_view.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace cantrix::test {

// What the worker showed, in the order it came.
struct PreviewRecord {
    std::vector<std::string> statuses;
    std::string input;
    std::string format;
    std::optional<std::uint32_t> range;
    std::vector<std::uint32_t> positions;
    int closes = 0;
    int callsAfterClose = 0;
};

class RecordingPreviewView : public PreviewView {
public:
    void SetStatusText(const std::string& text) override;
    void SetInputText(const std::string& path) override;
    void SetFormatText(const std::string& text) override;
    void SetProgressRange(std::uint32_t maximum) override;
    void SetProgressPos(std::uint32_t position) override;
    void PostClose() override;

    PreviewRecord Record();
    // Waits until the status line has shown `text`; false after a minute.
    bool WaitForStatus(const std::string& text);

    // Hooks, set before the run. They run on the preview thread inside the call, before it
    // returns: a test requests a cancel at an exact point of the run with them.
    std::function<void(std::uint32_t position)> onPosition;
    std::function<void()> onClose;

private:
    void Note(const std::function<void(PreviewRecord&)>& change);

    std::mutex mutex;
    std::condition_variable changed;
    PreviewRecord record;
};

// Starts the run with `view` and joins it, as the preview dialog does.
class ThreadedPreviewHost : public PreviewHost {
public:
    explicit ThreadedPreviewHost(PreviewView& view) : view(view) {}
    void RunPreviewDialog(PreviewRun& run) override;
    int Runs() const { return runs; }

private:
    PreviewView& view;
    int runs = 0;
};

} // namespace cantrix::test
