#pragma once
// What the preview worker drives in its dialog: three text lines, a progress bar and the closing
// command. The window implements it; tests record it.
//
// Thread rules: every call comes from the preview thread. An implementation hands the change to
// its own thread and returns at once; it never waits for the user interface, so the worker blocks
// only where it means to (its cancel waits). PostClose is the worker's last call.
#include <cstdint>
#include <string>

namespace cantrix {

class PreviewView {
public:
    // Control 1021: the status line.
    virtual void SetStatusText(const std::string& text) = 0;
    // Control 1022: the input path, as the file system's bytes.
    virtual void SetInputText(const std::string& path) = 0;
    // Control 1023: the chosen format's description.
    virtual void SetFormatText(const std::string& text) = 0;
    // Control 1000: the bar runs from 0 to `maximum` and counts encoding passes.
    virtual void SetProgressRange(std::uint32_t maximum) = 0;
    virtual void SetProgressPos(std::uint32_t position) = 0;
    // The closing command: the dialog ends itself when it arrives. Sent once, on every path.
    virtual void PostClose() = 0;

protected:
    ~PreviewView() = default;
};

} // namespace cantrix
