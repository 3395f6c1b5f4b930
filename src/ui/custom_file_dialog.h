#pragma once
// CCustomFileDlg: the program's file dialog, Qt's own, which blocks only its owner while it is open
// and may carry a panel of controls below the standard ones. It opens at a comfortable size, its
// columns wide enough for their texts. The input chooser and the conversion directory chooser
// derive from it; Set Output uses it as it is.
#include <QFileDialog>

namespace cantrix {

class CCustomFileDlg : public QFileDialog {
    Q_OBJECT

public:
    // Always Qt's own dialog, never the desktop's: only that one has a layout a panel can join.
    explicit CCustomFileDlg(QWidget* parent);

    // The file types offered: `typeFilter` (preselected), then "All Files (*.*)", which lists
    // every file, names without a dot included.
    void SetFileTypes(const QString& typeFilter);

    // Runs the dialog modally over its owner.
    int exec() override;
    void setVisible(bool visible) override;

protected:
    // Puts `panel` below the standard controls, across the dialog's whole width; the dialog
    // takes ownership.
    void AddPanel(QWidget* panel);

private:
    void ApplyAllFilesPattern();
    // Gives the detail view's columns and the dialog their first sizes.
    void FitToContents();
    // Widens the size, type and date columns to what the folder shown needs, and the dialog with
    // them.
    void WidenColumns();
    // The most of the screen the dialog takes.
    QSize Room() const;

    bool fitted = false;
};

} // namespace cantrix
