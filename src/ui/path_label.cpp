#include "ui/path_label.h"

#include <QAccessible>
#include <QPainter>

namespace cantrix {

PathLabel::PathLabel(const QString& text, QWidget* parent) : QWidget(parent), text(text)
{
}

void PathLabel::SetText(const QString& value)
{
    text = value;
    UpdateToolTip();
    update();
    // Screen readers know the control by its whole path.
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
}

void PathLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QString shown = fontMetrics().elidedText(text, Qt::ElideMiddle, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void PathLabel::resizeEvent(QResizeEvent*)
{
    UpdateToolTip();
}

void PathLabel::UpdateToolTip()
{
    setToolTip(fontMetrics().horizontalAdvance(text) > width() ? text : QString());
}

} // namespace cantrix
