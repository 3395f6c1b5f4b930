#pragma once
// CCustomFileDlg: the program's file dialog with a panel of its own controls below the standard
// ones. The input chooser and the conversion directory chooser derive from it.
#include <QFileDialog>

namespace cantrix {

class CCustomFileDlg : public QFileDialog {
    Q_OBJECT

public:
    // Always Qt's own dialog, never the desktop's: only that one has a layout a panel can join.
    explicit CCustomFileDlg(QWidget* parent);

protected:
    // Puts `panel` below the standard controls, across the dialog's whole width; the dialog
    // takes ownership.
    void AddPanel(QWidget* panel);
};

} // namespace cantrix
