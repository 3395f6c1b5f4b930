#pragma once
#include <QWidget>

namespace cantrix {

// The face of a dialog template: a fixed-size area on which controls sit at their template
// rectangles. Its top two pixel rows carry an etched line (dark grey over white) that separates
// the face from a menu bar above it.
class DialogFace : public QWidget {
    Q_OBJECT
public:
    DialogFace(const QSize& size, bool etchedTop, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool etchedTop;
};

} // namespace cantrix
