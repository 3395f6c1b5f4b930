#pragma once
#include <QObject>

class QAbstractButton;
class QButtonGroup;

namespace cantrix {

// The keyboard of a radio group as dialogs have always had it: the group is one tab stop, on its
// checked button (on its first enabled one while the checked one is disabled), and the arrow keys
// move to the next (Down, Right) or previous (Up, Left) enabled button in the group's order, round
// from the last to the first, and check it. Install it once the group holds all its buttons.
class RadioGroupKeys : public QObject {
    Q_OBJECT
public:
    explicit RadioGroupKeys(QButtonGroup* group);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceTabStop();
    // The enabled button `step` places after `from` in the group's order, round the end.
    QAbstractButton* Neighbour(QAbstractButton* from, int step) const;

    QButtonGroup* group;
};

} // namespace cantrix
