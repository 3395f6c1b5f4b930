#include "support/recording_preview.h"

#include "engine/preview_run.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace cantrix::test {

void RecordingPreviewView::Note(const std::function<void(PreviewRecord&)>& change)
{
    {
        std::lock_guard lock(mutex);
        if (record.closes > 0)
            ++record.callsAfterClose;
        change(record);
    }
    changed.notify_all();
}

void RecordingPreviewView::SetStatusText(const std::string& text)
{
    Note([&](PreviewRecord& r) { r.statuses.push_back(text); });
}

void RecordingPreviewView::SetInputText(const std::string& path)
{
    Note([&](PreviewRecord& r) { r.input = path; });
}

void RecordingPreviewView::SetFormatText(const std::string& text)
{
    Note([&](PreviewRecord& r) { r.format = text; });
}

void RecordingPreviewView::SetProgressRange(std::uint32_t maximum)
{
    Note([&](PreviewRecord& r) { r.range = maximum; });
}

void RecordingPreviewView::SetProgressPos(std::uint32_t position)
{
    Note([&](PreviewRecord& r) { r.positions.push_back(position); });
    if (onPosition)
        onPosition(position);
}

void RecordingPreviewView::PostClose()
{
    if (onClose)
        onClose();
    Note([](PreviewRecord& r) { ++r.closes; });
}

PreviewRecord RecordingPreviewView::Record()
{
    std::lock_guard lock(mutex);
    return record;
}

bool RecordingPreviewView::WaitForStatus(const std::string& text)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::minutes(1), [&] {
        return std::find(record.statuses.begin(), record.statuses.end(), text) != record.statuses.end();
    });
}

void ThreadedPreviewHost::RunPreviewDialog(PreviewRun& run)
{
    ++runs;
    run.Start(view);
    run.Join();
}

} // namespace cantrix::test
