#include "ui/input_file_chooser.h"

#include "platform/media_control.h"
#include "ui/audition_icon.h"
#include "ui/dialog_units.h"
#include "ui/format_readout.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <string>

namespace cantrix {

namespace {
constexpr QLatin1String kWaveFilter("Waveform Files (*.wav)");
constexpr QLatin1String kDefaultSuffix("wav");

// The panel's template, in dialog units: 277 x 20, "Format:" at x 6 (24 wide), the readout at
// x 35 (152 wide), PLAY and STOP (23 x 14 each, 4 apart) from x 222 on, 3 below the top.
constexpr int kPlayId = 1008;
constexpr int kStopId = 1011;
constexpr int kReadoutId = 1013;
constexpr int kPanelHeight = 20;
constexpr int kLabelWidth = 24;
constexpr int kLabelToReadout = 5;
constexpr int kReadoutWidth = 152;
constexpr int kReadoutToButtons = 35;
constexpr int kAuditionButtonWidth = 23;
constexpr int kAuditionButtonHeight = 14;
constexpr int kAuditionButtonGap = 4;

// The audition's media control strings. The path goes between the quotes as it is: the command's
// reader takes everything up to the last `" alias `, quotes included.
constexpr std::string_view kOpenHead = "open \"";
constexpr std::string_view kOpenTail = "\" alias tonelPrev";
constexpr std::string_view kSeekToStart = "seek to start tonelPrev";
constexpr std::string_view kPlay = "play tonelPrev";
constexpr std::string_view kStop = "stop tonelPrev";
constexpr std::string_view kClose = "close tonelPrev";

QPushButton* MakeAuditionButton(QWidget* parent, int id, const QString& name, AuditionIcon icon,
                                const DialogUnits& units)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::number(id));
    button->setProperty("controlId", id);
    // The icon stands in for the button's text, which stays its accessible name.
    button->setAccessibleName(name);
    button->setIcon(QIcon(QPixmap::fromImage(AuditionIconImage(icon))));
    button->setIconSize(QSize(kAuditionIconSize, kAuditionIconSize));
    // Return in the file list belongs to the dialog's own Open button.
    button->setAutoDefault(false);
    button->setFixedSize(units.X(kAuditionButtonWidth), units.Y(kAuditionButtonHeight));
    return button;
}

} // namespace

InputFileChooser::InputFileChooser(QWidget* parent) : InputFileChooser(parent, MediaCommandSink())
{
}

InputFileChooser::InputFileChooser(QWidget* parent, MediaCommandSink sink)
    : CCustomFileDlg(parent), media(std::move(sink))
{
    if (!media) {
        ownMedia = std::make_unique<MediaControl>();
        media = [control = ownMedia.get()](std::string_view command) { return control->SendString(command); };
    }
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    SetFileTypes(kWaveFilter);
    setDefaultSuffix(kDefaultSuffix);

    readout = new FormatReadout(this);
    AddPanel(BuildPanel());
    connect(readout, &FormatReadout::TextChanged, readoutLabel, &QLabel::setText);

    connect(this, &QFileDialog::currentChanged, this, &InputFileChooser::ScheduleReadout);
    connect(this, &QFileDialog::directoryEntered, this, &InputFileChooser::ScheduleReadout);
    connect(this, &QFileDialog::filterSelected, this, &InputFileChooser::ScheduleReadout);
    if (auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(nameEdit, &QLineEdit::textChanged, this, &InputFileChooser::ScheduleReadout);
}

InputFileChooser::~InputFileChooser()
{
    // A chooser destroyed without being closed (its parent went first) leaves no sound behind.
    StopAudition();
}

void InputFileChooser::done(int result)
{
    // Before the dialog hides and its modal run returns, so the chosen file is no longer held
    // open for playing when the caller loads it.
    StopAudition();
    CCustomFileDlg::done(result);
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
    label->setBuddy(readoutLabel);
    row->addWidget(readoutLabel, 1);
    row->addSpacing(units.X(kReadoutToButtons));

    auditionArea = BuildAuditionArea(units);
    row->addWidget(auditionArea);
    return panel;
}

QWidget* InputFileChooser::BuildAuditionArea(const DialogUnits& units)
{
    auto* area = new QWidget;
    area->setObjectName(QStringLiteral("auditionArea"));
    // Exactly as large as the two buttons and their gap; the panel's row adopts it.
    area->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* buttons = new QHBoxLayout(area);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(units.X(kAuditionButtonGap));
    auto* play = MakeAuditionButton(area, kPlayId, QStringLiteral("PLAY"), AuditionIcon::Play, units);
    auto* stop = MakeAuditionButton(area, kStopId, QStringLiteral("STOP"), AuditionIcon::Stop, units);
    buttons->addWidget(play);
    buttons->addWidget(stop);
    connect(play, &QPushButton::clicked, this, &InputFileChooser::StartAudition);
    connect(stop, &QPushButton::clicked, this, &InputFileChooser::StopAudition);
    return area;
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
    const QString path = NamedPath();
    if (!path.isEmpty())
        readout->Request(path);
}

void InputFileChooser::StartAudition()
{
    const QString path = NamedPath();
    if (path.isEmpty())
        return;
    StopAudition();
    // Results are not examined: a file that cannot be played simply plays nothing.
    const QByteArray nativePath = QFile::encodeName(path);
    std::string command(kOpenHead);
    command.append(nativePath.constData(), static_cast<std::size_t>(nativePath.size()));
    command.append(kOpenTail);
    media(command);
    media(kSeekToStart);
    media(kPlay);
}

void InputFileChooser::StopAudition()
{
    // Both are harmless when no audition is open.
    media(kStop);
    media(kClose);
}

QString InputFileChooser::NamedPath() const
{
    const auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (nameEdit == nullptr || nameEdit->text().isEmpty())
        return {};
    // The selected file, or the typed name in the folder shown.
    return selectedFiles().value(0);
}

QString RunInputChooser(QWidget* parent, const FolderMemory& folders)
{
    InputFileChooser chooser(parent);
    chooser.setDirectory(folders.StartFolder(Chooser::Input));
    if (chooser.exec() != QDialog::Accepted)
        return {};
    const QString chosen = chooser.selectedFiles().value(0);
    folders.Remember(Chooser::Input, QFileInfo(chosen).absolutePath());
    return chosen;
}

} // namespace cantrix
