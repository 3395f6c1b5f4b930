#include "ui/dialog_units.h"

#include <QFont>
#include <QFontMetrics>
#include <QVariant>
#include <QWidget>

namespace cantrix {

namespace {
// The average width is taken over the Latin letters, as the dialog units were defined.
constexpr const char* kAverageSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kSampleLength = 52;

// Rounds value * numerator / denominator to the nearest integer.
int Scale(int value, int numerator, int denominator)
{
    return (value * numerator + denominator / 2) / denominator;
}
} // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    baseX = (metrics.horizontalAdvance(QString::fromLatin1(kAverageSample)) / (kSampleLength / 2) + 1) / 2;
    baseY = metrics.height();
}

int DialogUnits::X(int units) const
{
    return Scale(units, baseX, 4);
}

int DialogUnits::Y(int units) const
{
    return Scale(units, baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const
{
    // Both edges are converted, so controls that touch in units touch in pixels.
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

void PlaceControl(QWidget* widget, const DialogUnits& units, int id, int x, int y, int width, int height)
{
    if (id != 0) {
        widget->setObjectName(QString::number(id));
        widget->setProperty("controlId", id);
    }
    widget->setGeometry(units.Rect(x, y, width, height));
}

void WidenToFit(QWidget* widget)
{
    const int needed = widget->sizeHint().width();
    if (needed > widget->width())
        widget->resize(needed, widget->height());
}

} // namespace cantrix
