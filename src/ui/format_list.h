#pragma once
#include <QComboBox>

namespace cantrix {

// The format list (control 1017): a drop-down list that keeps the width its caller gives it. Its
// popup shows as many rows as the given drop-down height holds, never the whole screen, and is
// wide enough for every entry whole; the closed box shows its whole text as a tooltip too.
class FormatList : public QComboBox {
    Q_OBJECT
public:
    // `dropHeight`: the pixels that the closed box and its open list take together.
    FormatList(int dropHeight, QWidget* parent);

    void showPopup() override;

private:
    int dropHeight;
};

} // namespace cantrix
