#include "ui/custom_file_dialog.h"

#include <QGridLayout>

namespace cantrix {

CCustomFileDlg::CCustomFileDlg(QWidget* parent) : QFileDialog(parent)
{
    // Must come before any other setting, or a native dialog may already have been chosen.
    setOption(QFileDialog::DontUseNativeDialog);
}

int CCustomFileDlg::exec()
{
    // Blocks its owner only, so the help window stays usable.
    setWindowModality(Qt::WindowModal);
    return QFileDialog::exec();
}

void CCustomFileDlg::AddPanel(QWidget* panel)
{
    // Qt's dialog lays out its standard controls in one grid; a new last row spanning every
    // column sits below all of them.
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (grid == nullptr) {
        // Only a native dialog has no layout, and the constructor rules that out; the panel
        // still belongs to the dialog.
        panel->setParent(this);
        return;
    }
    grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace cantrix
