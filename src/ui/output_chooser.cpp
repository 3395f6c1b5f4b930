#include "ui/output_chooser.h"

#include "ui/custom_file_dialog.h"

#include <QFileInfo>

namespace cantrix {

QString RunOutputChooser(QWidget* parent, bool writeRiff, const FolderMemory& folders)
{
    CCustomFileDlg dialog(parent);
    dialog.setObjectName(QStringLiteral("setOutputDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(writeRiff ? QStringLiteral("wav") : QStringLiteral("mp3"));
    dialog.SetFileTypes(writeRiff ? QStringLiteral("Waveform Files (*.wav)")
                                  : QStringLiteral("Layer-3 Files (*.mp3)"));
    dialog.setDirectory(folders.StartFolder(Chooser::Output));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    folders.Remember(Chooser::Output, QFileInfo(chosen).absolutePath());
    return chosen;
}

} // namespace cantrix
