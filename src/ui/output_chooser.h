#pragma once
#include "ui/folder_memory.h"

#include <QString>

class QWidget;

namespace cantrix {

// Set Output's save dialog: the file types of the container in use (`writeRiff`: RIFF/WAVE, else a
// raw Layer-3 stream), whose extension it adds to a name typed without one, and a confirmation
// before an existing file is chosen. It opens in the folder it was last used in (as `folders`
// remembers it) and remembers the chosen file's folder. Returns the chosen path, or an empty
// string when the user cancelled.
QString RunOutputChooser(QWidget* parent, bool writeRiff, const FolderMemory& folders);

} // namespace cantrix
