#pragma once
// Runs the compression preview's modal dialog for the engine. The window implements it with its
// preview dialog; tests run the preview on a thread of their own.
namespace cantrix {

class PreviewRun;

class PreviewHost {
public:
    // Shows the preview dialog modally. The dialog starts `run` with itself as the view when it is
    // first shown, asks it to cancel on the user's behalf, and ends when the run posts its close.
    // Returns once the dialog has ended and the run's thread has been joined.
    virtual void RunPreviewDialog(PreviewRun& run) = 0;

protected:
    ~PreviewHost() = default;
};

} // namespace cantrix
