#pragma once
#include "engine/preview_host.h"

class QWidget;

namespace cantrix {

// Runs the compression preview under the window: a PreviewDialog, modal over `parent`. The main
// window's Preview command sets the engine's format index, then runs
//     QtPreviewHost host(this);
//     engine.RunPreview(host);
class QtPreviewHost : public PreviewHost {
public:
    explicit QtPreviewHost(QWidget* parent) : parent(parent) {}

    void RunPreviewDialog(PreviewRun& run) override;

private:
    QWidget* parent;
};

} // namespace cantrix
