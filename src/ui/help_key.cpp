#include "ui/help_key.h"

#include <QApplication>
#include <QKeyEvent>

namespace cantrix {

HelpKey::HelpKey(QObject* parent) : QObject(parent)
{
    // A filter on the application sees the key before any window or shortcut of a dialog does;
    // it goes away with this object.
    QApplication::instance()->installEventFilter(this);
}

bool HelpKey::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::HelpContents)) {
        // Taken here, so the press is not delivered again on its way to the focused widget.
        emit Pressed();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace cantrix
