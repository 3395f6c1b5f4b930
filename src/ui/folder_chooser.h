#pragma once
#include <QString>

class QWidget;

namespace cantrix {

// Runs the conversion directory chooser, a file dialog turned folder picker that starts in
// `folder` (when not empty). On "Choose" `folder` becomes the folder shown (without a trailing
// separator, except the root) and the result is true; otherwise `folder` is left as it was.
bool RunFolderChooser(QWidget* parent, QString& folder);

}  // namespace cantrix
