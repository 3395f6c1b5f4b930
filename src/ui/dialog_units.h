#pragma once
#include <QRect>

class QFont;
class QWidget;

namespace cantrix {

// Converts the dialog templates' units to pixels for a font, so a window keeps its proportions
// with any desktop font: a horizontal unit is a quarter of the font's average character width,
// a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    int baseX;
    int baseY;
};

// Gives `widget` its template rectangle and tags it with `id` (object name and "controlId").
void PlaceControl(QWidget* widget, const DialogUnits& units, int id, int x, int y, int width, int height);

// Widens a text control whose text needs more room than its template rectangle gives it with the
// desktop's font and style; the extra room is taken to its right.
void WidenToFit(QWidget* widget);

} // namespace cantrix
