#pragma once
#include <QString>

class QWidget;

namespace cantrix {

// Runs the input chooser: an open-file dialog for WAV files whose panel shows the format of the
// file named in it. Returns the chosen path, or an empty string when the user cancelled.
QString RunInputChooser(QWidget* parent);

}  // namespace cantrix
