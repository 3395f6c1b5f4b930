#include "ui/dialog_face.h"

#include <QPainter>

namespace cantrix {

namespace {
constexpr QRgb kEtchShadow = 0x707070;
constexpr QRgb kEtchLight = 0xFFFFFF;
} // namespace

DialogFace::DialogFace(const QSize& size, bool etchedTop, QWidget* parent)
    : QWidget(parent), etchedTop(etchedTop)
{
    setFixedSize(size);
}

void DialogFace::paintEvent(QPaintEvent*)
{
    if (!etchedTop)
        return;
    // Drawn on every repaint, over whatever else the face shows.
    QPainter painter(this);
    painter.setPen(QPen(QColor(kEtchShadow), 1));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.setPen(QPen(QColor(kEtchLight), 1));
    painter.drawLine(0, 1, width() - 1, 1);
}

} // namespace cantrix
