#include "ui/focus_cues.h"

#include <QApplication>
#include <QWidget>

namespace cantrix {

FocusCues::FocusCues(QObject* parent) : QObject(parent)
{
    QApplication::instance()->installEventFilter(this);
}

bool FocusCues::eventFilter(QObject* watched, QEvent* event)
{
    // The attribute is what a Tab in the window would set.
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow())
            widget->setAttribute(Qt::WA_KeyboardFocusChange);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace cantrix
