#pragma once
// PreviewDialog: dialog template 134, "Compression Preview". It shows the input path, the format,
// a status line and a progress bar, runs the preview thread, and ends only through the closing
// command that thread posts as its last act. Cancel, Escape and the window's close request all
// ask the run to cancel; the dialog stays open until the thread has wound up. Enter does
// nothing.
//
// Thread rules: the preview thread calls only the PreviewView operations. They store what changed
// under `mutex` and return at once, never touching a widget, so the worker never waits for the
// user-interface thread. A timer on the user-interface thread shows the latest of each and ends
// the dialog once the close has come. Everything else runs on the user-interface thread. The
// dialog starts the run's thread and joins it before it is destroyed.
#include "engine/preview_view.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace cantrix {

class PathLabel;
class PreviewRun;

class PreviewDialog : public QDialog, public PreviewView {
    Q_OBJECT
public:
    // The run's thread starts when the dialog is first shown.
    explicit PreviewDialog(PreviewRun& run, QWidget* parent = nullptr);
    // If the thread still runs (the dialog's event loop was ended from outside), cancels it and
    // waits, still processing events, until it has posted its close; then joins it.
    ~PreviewDialog() override;

    // PreviewView, from the preview thread.
    void SetStatusText(const std::string& text) override;
    void SetInputText(const std::string& path) override;
    void SetFormatText(const std::string& text) override;
    void SetProgressRange(std::uint32_t maximum) override;
    void SetProgressPos(std::uint32_t position) override;
    void PostClose() override;

    // Cancel, Escape and the close request: asks the preview to stop. The dialog stays open.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // What the worker has changed since the last Sync; only the latest value of each counts.
    struct Changes {
        std::optional<std::string> status;
        std::optional<std::string> input;
        std::optional<std::string> format;
        std::optional<std::uint32_t> range;
        std::optional<std::uint32_t> position;
        bool closed = false;
    };

    // Applies the worker's changes to the controls; ends the dialog once the worker has closed.
    void Sync();

    PreviewRun& run;
    QTimer syncTimer;
    bool workerClosed = false;
    // Set while the destructor waits for the worker: its close then ends nothing.
    bool destroying = false;
    // The bar's maximum as the worker set it; positions beyond it show a full bar.
    int progressMaximum = 0;

    std::mutex mutex;
    Changes changes; // under `mutex`

    QLabel* status = nullptr;
    PathLabel* input = nullptr;
    QLabel* format = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* cancel = nullptr;
};

} // namespace cantrix
