#pragma once
#include <QObject>

namespace cantrix {

// Shows the keyboard focus in every window of the program from the moment it opens, dialogs and
// message boxes included, as the program's dialogs always did; styles otherwise draw it only after
// the first Tab. It watches the whole application while it lives.
class FocusCues : public QObject {
    Q_OBJECT
public:
    explicit FocusCues(QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace cantrix
