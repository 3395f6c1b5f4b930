#include "ui/input_file_chooser.h"

#include "ui/dialog_units.h"
#include "ui/format_readout.h"

#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <algorithm>

namespace cantrix {

namespace {
constexpr QLatin1String kWaveFilter("Waveform Files (*.wav)");
constexpr QLatin1String kAllFilesFilter("All Files (*.*)");
constexpr QLatin1String kDefaultSuffix("wav");

// The panel's template, in dialog units: 277 x 20, "Format:" at x 6 (24 wide), the readout at
// x 35 (152 wide), PLAY and STOP (23 x 14 each, 4 apart) from x 222 on, 3 below the top.
constexpr int kReadoutId = 1013;
constexpr int kPanelHeight = 20;
constexpr int kLabelWidth = 24;
constexpr int kLabelToReadout = 5;
constexpr int kReadoutWidth = 152;
constexpr int kReadoutToButtons = 35;
constexpr int kAuditionButtonWidth = 23;
constexpr int kAuditionButtonHeight = 14;
constexpr int kAuditionButtonGap = 4;
} // namespace

InputFileChooser::InputFileChooser(QWidget* parent) : CCustomFileDlg(parent)
{
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters({QString(kWaveFilter), QString(kAllFilesFilter)});
    setDefaultSuffix(kDefaultSuffix);

    readout = new FormatReadout(this);
    AddPanel(BuildPanel());
    connect(readout, &FormatReadout::TextChanged, readoutLabel, &QLabel::setText);

    connect(this, &QFileDialog::currentChanged, this, &InputFileChooser::ScheduleReadout);
    connect(this, &QFileDialog::directoryEntered, this, &InputFileChooser::ScheduleReadout);
    connect(this, &QFileDialog::filterSelected, this, [this] {
        ApplyAllFilesPattern();
        ScheduleReadout();
    });
    if (auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(nameEdit, &QLineEdit::textChanged, this, &InputFileChooser::ScheduleReadout);
}

QString InputFileChooser::ReadoutText() const
{
    return readoutLabel->text();
}

QWidget* InputFileChooser::BuildPanel()
{
    // The template's sizes and gaps are minimums: a desktop font wider than the template's own
    // widens the texts instead of clipping them.
    const DialogUnits units(font());
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("inputPanel"));
    auto* row = new QHBoxLayout(panel);
    // The dialog's own margins stand in for the template's left and right edges.
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    panel->setMinimumHeight(units.Y(kPanelHeight));

    auto* label = new QLabel(QStringLiteral("Format:"), panel);
    label->setMinimumWidth(std::max(units.X(kLabelWidth), label->sizeHint().width()));
    row->addWidget(label);
    row->addSpacing(units.X(kLabelToReadout));

    readoutLabel = new QLabel(readout->Text(), panel);
    readoutLabel->setObjectName(QString::number(kReadoutId));
    readoutLabel->setProperty("controlId", kReadoutId);
    // Wide enough for its longest text, so the panel never jumps as the text changes.
    readoutLabel->setMinimumWidth(std::max(units.X(kReadoutWidth), readoutLabel->sizeHint().width()));
    row->addWidget(readoutLabel, 1);
    row->addSpacing(units.X(kReadoutToButtons));

    auditionArea = new QWidget(panel);
    auditionArea->setObjectName(QStringLiteral("auditionArea"));
    auditionArea->setFixedSize(units.X(2 * kAuditionButtonWidth + kAuditionButtonGap),
                               units.Y(kAuditionButtonHeight));
    row->addWidget(auditionArea);
    return panel;
}

void InputFileChooser::ScheduleReadout()
{
    if (readoutScheduled)
        return;
    readoutScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            readoutScheduled = false;
            UpdateFormatReadout();
        },
        Qt::QueuedConnection);
}

void InputFileChooser::UpdateFormatReadout()
{
    // An empty name field leaves the last readout standing.
    const auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (nameEdit == nullptr || nameEdit->text().isEmpty())
        return;
    // The file that Open would return now: the selected one, or the typed name in the folder shown.
    const QString path = selectedFiles().value(0);
    if (path.isEmpty())
        return;
    readout->Request(path);
}

void InputFileChooser::ApplyAllFilesPattern()
{
    // "*.*" means every file where this filter comes from, but only names with a dot to Qt.
    if (selectedNameFilter() != kAllFilesFilter)
        return;
    if (auto* model = findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model")))
        model->setNameFilters({QStringLiteral("*")});
}

QString RunInputChooser(QWidget* parent)
{
    InputFileChooser chooser(parent);
    if (chooser.exec() != QDialog::Accepted)
        return {};
    return chooser.selectedFiles().value(0);
}

} // namespace cantrix
