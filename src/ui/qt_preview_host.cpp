#include "ui/qt_preview_host.h"

#include "ui/preview_dialog.h"

namespace cantrix {

void QtPreviewHost::RunPreviewDialog(PreviewRun& run)
{
    PreviewDialog dialog(run, parent);
    dialog.exec();
}

} // namespace cantrix
