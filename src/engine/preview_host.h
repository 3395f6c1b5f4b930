#pragma once
// Runs the compression preview's modal dialog for the engine. The window implements it with its
// preview dialog; tests run the worker on a thread of their own.
namespace cantrix {

class ConverterEngine;

class PreviewHost {
public:
    // Shows the preview dialog modally. The dialog starts one thread that calls
    // engine.RunPreviewWorker with the dialog as its view, and ends when that call posts its close.
    // Returns once the dialog has ended and the thread has been joined; the engine's input file
    // stays open for the worker until then.
    virtual void RunPreviewDialog(ConverterEngine& engine) = 0;

protected:
    ~PreviewHost() = default;
};

} // namespace cantrix
