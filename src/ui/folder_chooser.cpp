#include "ui/folder_chooser.h"

#include "ui/dialog_units.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace cantrix {

namespace {
// The panel's template, in dialog units: 277 x 20, the note at x 7 (207 wide), "Choose" at
// x 222, 3 below the top, 50 x 14.
constexpr int kChooseId = 1010;
constexpr int kPanelHeight = 20;
constexpr int kNoteWidth = 207;
constexpr int kNoteToButton = 8;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;

// The standard controls that a folder picker has no use for.
constexpr const char* kHiddenControls[] = {"fileTypeCombo", "fileNameEdit", "fileTypeLabel", "fileNameLabel"};
} // namespace

FolderChooser::FolderChooser(QWidget* parent) : CCustomFileDlg(parent)
{
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
    for (const char* name : kHiddenControls)
        if (auto* control = findChild<QWidget*>(QLatin1String(name)))
            control->hide();
    // The hidden name field was what stretched the middle column; without it the spare width
    // would go to the "Look in:" label instead of the folder list above it.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->setColumnStretch(1, 1);
    AddPanel(BuildPanel());
}

QWidget* FolderChooser::BuildPanel()
{
    // The template's sizes and gaps are minimums: a desktop font wider than the template's own
    // widens the texts instead of clipping them.
    const DialogUnits units(font());
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("folderPanel"));
    auto* row = new QHBoxLayout(panel);
    // The dialog's own margins stand in for the template's left and right edges.
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    panel->setMinimumHeight(units.Y(kPanelHeight));

    auto* note = new QLabel(
        QStringLiteral("Converted Layer-3 files will be stored in the place you set here."), panel);
    note->setMinimumWidth(std::max(units.X(kNoteWidth), note->sizeHint().width()));
    row->addWidget(note, 1);
    row->addSpacing(units.X(kNoteToButton));

    chooseButton = new QPushButton(QStringLiteral("Choose"), panel);
    chooseButton->setObjectName(QString::number(kChooseId));
    chooseButton->setProperty("controlId", kChooseId);
    // Return in the folder list belongs to the dialog's own Open button.
    chooseButton->setAutoDefault(false);
    // The note says what the button is for; screen readers read it with the button.
    chooseButton->setAccessibleDescription(note->text());
    // As wide as the dialog's own buttons above it, so the three line up.
    int buttonWidth = units.X(kButtonWidth);
    if (auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
        for (const QAbstractButton* button : buttons->buttons())
            buttonWidth = std::max(buttonWidth, button->sizeHint().width());
    chooseButton->setMinimumSize(buttonWidth, units.Y(kButtonHeight));
    row->addWidget(chooseButton);
    connect(chooseButton, &QPushButton::clicked, this,
            [this] { done(TakeCurrentFolder() ? Accepted : Rejected); });
    return panel;
}

bool FolderChooser::TakeCurrentFolder()
{
    const QString shown = directory().path();
    // The sidebar's "Computer" lists the file system's roots and is no folder itself; the
    // dialog reports it with a relative path.
    if (!QDir::isAbsolutePath(shown))
        return false;
    chosenFolder = QDir::toNativeSeparators(QDir::cleanPath(shown));
    return true;
}

void FolderChooser::accept()
{
    const QString named = selectedFiles().value(0);
    if (!named.isEmpty() && QFileInfo(named).isDir())
        setDirectory(named);
}

bool RunFolderChooser(QWidget* parent, QString& folder, const FolderMemory& folders)
{
    FolderChooser chooser(parent);
    chooser.setDirectory(folders.StartFolder(Chooser::ConversionDir, folder));
    chooser.exec();
    if (chooser.ChosenFolder().isEmpty())
        return false;
    folder = chooser.ChosenFolder();
    folders.Remember(Chooser::ConversionDir, folder);
    return true;
}

} // namespace cantrix
