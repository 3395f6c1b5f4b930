#include "preview/qt_preview_host.h"

#include "preview/preview_dialog.h"

namespace cantrix {

void QtPreviewHost::RunPreviewDialog(ConverterEngine& engine)
{
    PreviewDialog dialog(engine, parent);
    dialog.exec();
}

} // namespace cantrix
