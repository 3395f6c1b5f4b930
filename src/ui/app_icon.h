#pragma once
#include <QIcon>

namespace cantrix {

// The application icon (icon 128): window icon and About box.
QIcon AppIcon();

} // namespace cantrix
