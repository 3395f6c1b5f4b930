#pragma once
#include <QObject>

namespace cantrix {

// The help key (F1) in every window of the program, the main window's dialogs and message boxes
// included: while it lives, each press anywhere in the application becomes one Pressed().
class HelpKey : public QObject {
    Q_OBJECT
public:
    explicit HelpKey(QObject* parent);

signals:
    void Pressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace cantrix
