#pragma once
// CCustomFileDlg: the program's file dialog, Qt's own, which blocks only its owner while it is open
// and may carry a panel of controls below the standard ones. The input chooser and the
// conversion directory chooser derive from it; Set Output uses it as it is.
#include <QFileDialog>

namespace cantrix {

class CCustomFileDlg : public QFileDialog {
    Q_OBJECT

public:
    // Always Qt's own dialog, never the desktop's: only that one has a layout a panel can join.
    explicit CCustomFileDlg(QWidget* parent);

    // Runs the dialog modally over its owner.
    int exec() override;

protected:
    // Puts `panel` below the standard controls, across the dialog's whole width; the dialog
    // takes ownership.
    void AddPanel(QWidget* panel);
};

} // namespace cantrix
