#pragma once
#include "ui/custom_file_dialog.h"
#include "ui/folder_memory.h"

#include <QString>

class QPushButton;
class QWidget;

namespace cantrix {

// The conversion directory chooser: a file dialog turned folder picker. Its file-name and
// file-type fields are hidden, its final OK never takes a file (a folder named there is opened
// instead), and the panel's "Choose" button takes the folder shown and closes the dialog.
class FolderChooser : public CCustomFileDlg {
    Q_OBJECT

public:
    explicit FolderChooser(QWidget* parent);

    // The folder that "Choose" took: native separators, no trailing separator except the root's.
    // Empty until then, and when the dialog showed no folder of the file system.
    const QString& ChosenFolder() const { return chosenFolder; }
    QPushButton* ChooseButton() const { return chooseButton; }

    // The dialog's Open button, a double click and Return on a file all end here.
    void accept() override;

private:
    QWidget* BuildPanel();
    // Returns false, taking nothing, when the dialog shows no folder of the file system.
    bool TakeCurrentFolder();

    QPushButton* chooseButton = nullptr;
    QString chosenFolder;
};

// Runs the conversion directory chooser, a file dialog turned folder picker that starts in the
// folder it was last used in (as `folders` remembers it), else in `folder`, else in the working
// folder. On "Choose" `folder` becomes the folder shown (without a trailing separator, except the
// root), is remembered, and the result is true; otherwise `folder` is left as it was.
bool RunFolderChooser(QWidget* parent, QString& folder, const FolderMemory& folders);

} // namespace cantrix
