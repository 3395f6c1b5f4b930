#include "ui/style_hint_override.h"

#include <QApplication>

namespace cantrix {

StyleHintOverride::StyleHintOverride(StyleHint hint, int value, QObject* owner)
    : QProxyStyle(QApplication::style()->name()), overridden(hint), value(value)
{
    setParent(owner);
}

int StyleHintOverride::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* data) const
{
    if (hint == overridden)
        return value;
    return QProxyStyle::styleHint(hint, option, widget, data);
}

} // namespace cantrix
