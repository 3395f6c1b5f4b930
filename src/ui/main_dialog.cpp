#include "ui/main_dialog.h"

#include "audio/output_naming.h"
#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "ui/about_dialog.h"
#include "ui/accessible_widgets.h"
#include "ui/app_icon.h"
#include "ui/control_ids.h"
#include "ui/dialog_face.h"
#include "ui/dialog_units.h"
#include "ui/focus_cues.h"
#include "ui/folder_chooser.h"
#include "ui/format_list.h"
#include "ui/help_key.h"
#include "ui/help_window.h"
#include "ui/input_file_chooser.h"
#include "ui/main_menu.h"
#include "ui/output_chooser.h"
#include "ui/path_label.h"
#include "ui/qt_preview_host.h"
#include "ui/qt_progress_target.h"
#include "ui/radio_group_keys.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace cantrix {

namespace {
constexpr const char* kCaption = "Quillonics MPEG Layer-3 Cantrix";
constexpr int kWidthUnits = 265;
constexpr int kHeightUnits = 135;
// Height of the format list's drop-down in dialog units, the closed box included.
constexpr int kListDropUnits = 67;
constexpr const char* kEncodeText = "Encode";
constexpr const char* kCancelText = "CANCEL";
constexpr const char* kHelpFailed = "Failed to launch help.";
// What screen readers read for controls whose face says it without words; the progress bar's
// description tells how the last run went.
constexpr const char* kProgressName = "Conversion progress";
constexpr const char* kFormatListName = "Layer-3 format";
constexpr const char* kListPresetName = "Format Chosen in the List";
constexpr const char* kInputFormatName = "Input format";
constexpr const char* kOutputFormatName = "Output format";
constexpr const char* kRunning = "Converting";
constexpr const char* kFinished = "Conversion finished";
constexpr const char* kCancelled = "Conversion cancelled";
constexpr const char* kFailed = "Conversion failed";

// How the end of a run is told to screen readers.
const char* EndOfRun(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Finished:
        return kFinished;
    case RunOutcome::Cancelled:
        return kCancelled;
    default:
        return kFailed;
    }
}

QString FromPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QPushButton* AddButton(QWidget* face, const DialogUnits& units, int id, const char* text, int x, int y)
{
    auto* button = new QPushButton(QString::fromUtf8(text), face);
    PlaceControl(button, units, id, x, y, 50, 14);
    return button;
}

QLabel* AddStatic(QWidget* face, const DialogUnits& units, int id, const char* text, int x, int y, int width)
{
    auto* label = new QLabel(QString::fromUtf8(text), face);
    PlaceControl(label, units, id, x, y, width, 8);
    WidenToFit(label);
    return label;
}

PathLabel* AddPathStatic(QWidget* face, const DialogUnits& units, int id, const char* text, int x, int y,
                         int width)
{
    auto* label = new PathLabel(QString::fromUtf8(text), face);
    PlaceControl(label, units, id, x, y, width, 8);
    return label;
}
} // namespace

MainDialog::MainDialog(ConverterEngine& engine, std::string& conversionDir, MessagePresenter& presenter,
                       QWidget* parent)
    : QDialog(parent), engine(engine), conversionDir(conversionDir), presenter(presenter)
{
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QString::fromUtf8(kCaption));
    // A normal top-level window of the desktop, not a dialog: its own task-bar entry, a minimise
    // box, no maximise box (its size is fixed).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    InstallAccessibleWidgets();
    BuildControls();
}

MainDialog::~MainDialog()
{
    // The worker holds pointers to this window and its progress target until it has posted its
    // end message.
    if (busy) {
        engine.RequestCancel();
        WaitForRunEnd();
    }
    if (initialized) {
        engine.SetNotifyTarget(nullptr, 0);
        engine.SetProgressCtrl(nullptr);
    }
    delete helpWindow;
}

void MainDialog::BuildControls()
{
    const DialogUnits units(font());
    auto* face = new DialogFace(QSize(units.X(kWidthUnits), units.Y(kHeightUnits)), true, this);
    menu = new MainMenu(this);
    connect(menu, &MainMenu::Command, this, &MainDialog::Command);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setMenuBar(menu);
    layout->addWidget(face);

    // The controls are made in the template's order, which is their tab order too. The frame
    // comes first so that it lies beneath the lines it frames.
    auto* frame = new QGroupBox(QStringLiteral("Encoding File"), face);
    PlaceControl(frame, units, 0, 7, 6, 251, 59);

    progressBar = new QProgressBar(face);
    PlaceControl(progressBar, units, ids::kProgress, 7, 116, 251, 12);
    progressBar->setTextVisible(false);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setAccessibleName(QString::fromUtf8(kProgressName));
    progress = std::make_unique<QtProgressTarget>(*progressBar);

    encodeButton = AddButton(face, units, ids::kEncode, kEncodeText, 201, 96);
    encodeButton->setEnabled(false);
    inputFormat = AddStatic(face, units, ids::kInputFormat, "-", 43, 29, 119);
    outputFormat = AddStatic(face, units, ids::kOutputFormat, "-", 43, 52, 119);
    inputFormat->setAccessibleDescription(QString::fromUtf8(kInputFormatName));
    outputFormat->setAccessibleDescription(QString::fromUtf8(kOutputFormatName));

    presets = new QButtonGroup(this);
    const auto addPreset = [&](int id, const char* text, int x, int y, int width, int height) {
        auto* radio = new QRadioButton(QString::fromUtf8(text), face);
        PlaceControl(radio, units, id, x, y, width, height);
        WidenToFit(radio);
        presets->addButton(radio, id);
    };
    addPreset(ids::kPresetLowest, "Nice Quality, Lowest Bitrate", 7, 73, 111, 10);
    addPreset(ids::kPresetModem, "Best Quality for 28.8 Modems", 13, 87, 112, 10);
    addPreset(ids::kPresetIsdn, "Superior Quality for ISDN", 19, 101, 100, 10);

    QLabel* inputLabel = AddStatic(face, units, ids::kInputLabel, "Input:", 15, 18, 22);
    QLabel* outputLabel = AddStatic(face, units, ids::kOutputLabel, "Output:", 15, 41, 25);
    selectInputButton = AddButton(face, units, ids::kSelectInput, "Select Input", 201, 19);
    inputPathLabel = AddPathStatic(face, units, ids::kInputPath, "No file selected yet.", 43, 18, 156);
    outputPathLabel = AddPathStatic(face, units, ids::kOutputPath, "-", 43, 41, 156);
    inputLabel->setBuddy(inputPathLabel);
    outputLabel->setBuddy(outputPathLabel);

    formatList = new FormatList(units.Y(kListDropUnits), face);
    PlaceControl(formatList, units, ids::kFormatList, 140, 72, 111, kListDropUnits);
    formatList->resize(formatList->width(), formatList->sizeHint().height());
    // activated is the user's choice only, like the list's selection-change notification.
    connect(formatList, &QComboBox::activated, this, [this] { ApplyPreset(ids::kPresetList); });
    // Screen readers take a drop-down list's name from its current entry and its label from a
    // label tied to it; the window shows none beside the list, so this one is never shown.
    auto* listLabel = new QLabel(QString::fromUtf8(kFormatListName), face);
    listLabel->setBuddy(formatList);
    listLabel->hide();

    addPreset(ids::kPresetList, "", 126, 75, 10, 8);
    presets->button(ids::kPresetList)->setAccessibleName(QString::fromUtf8(kListPresetName));
    connect(presets, &QButtonGroup::idClicked, this, &MainDialog::Command);
    new RadioGroupKeys(presets);

    setOutputButton = AddButton(face, units, ids::kSetOutput, "Set Output", 201, 43);
    setOutputButton->setEnabled(false);
    previewButton = AddButton(face, units, ids::kPreview, "Preview", 140, 96);
    previewButton->setEnabled(false);
    for (QPushButton* button : {encodeButton, selectInputButton, setOutputButton, previewButton}) {
        const int id = button->property("controlId").toInt();
        connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
    }

    connect(new HelpKey(this), &HelpKey::Pressed, this, &MainDialog::ShowHelp);
    new FocusCues(this);
}

void MainDialog::setVisible(bool visible)
{
    // The window initialises itself when it first appears, so that the options and the pending
    // input set after construction are in place.
    if (visible && !initialized) {
        initialized = true;
        Initialize();
    }
    QDialog::setVisible(visible);
}

int MainDialog::Run()
{
    // Not exec(): that would make the window modal, and the desktop would treat it as a dialog.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    if (isVisible())
        loop.exec();
    return result();
}

void MainDialog::Initialize()
{
    const std::string aboutText = LoadString(strings::kAboutMenuEntry);
    if (!aboutText.empty()) {
        contextMenu = new QMenu(this);
        QAction* about = contextMenu->addAction(QString::fromUtf8(aboutText.c_str()));
        about->setObjectName(QString::number(ids::kSystemAbout));
        connect(about, &QAction::triggered, this, [this] { Command(ids::kSystemAbout); });
    }
    setWindowIcon(AppIcon());

    menu->Item(ids::kMenuWriteRiff)->setChecked(engine.GetWriteRiff() != 0);
    menu->Item(ids::kMenuBeep)->setChecked(beepWhenDone != 0);

    if (!engine.FindCodecDriver())
        presenter.ShowMessage(strings::kCodecMissing);
    if (!EditionHasIsdnPreset(engine.GetCodecEdition()))
        presets->button(ids::kPresetIsdn)->setEnabled(false);

    engine.SetNotifyTarget(this, ids::kConversionDone);
    engine.SetProgressCtrl(progress.get());

    setWindowTitle(windowTitle() + QStringLiteral(" (") +
                   QString::fromUtf8(engine.GetCodecEditionName().c_str()) + QStringLiteral(")"));
    formatList->setEnabled(false);
    if (!pendingInput.empty())
        QMetaObject::invokeMethod(
            this, [this] { Command(ids::kSelectInput); }, Qt::QueuedConnection);
    presets->button(ids::kPresetModem)->setChecked(true);
    selectInputButton->setFocus();
}

void MainDialog::Command(int id)
{
    switch (id) {
    case ids::kEncode:
        if (busy)
            engine.RequestCancel();
        else
            StartEncoding();
        break;
    case ids::kPresetLowest:
    case ids::kPresetModem:
    case ids::kPresetIsdn:
    case ids::kPresetList:
        ApplyPreset(id);
        break;
    case ids::kSelectInput:
    case ids::kMenuSelectInput:
        SelectInput();
        break;
    case ids::kPreview:
        if (!busy) {
            engine.SetFormatIndex(selectedFormat);
            // Modal: the window takes no command until the preview dialog has closed itself.
            QtPreviewHost host(this);
            engine.RunPreview(host);
        }
        break;
    case ids::kSetOutput:
        SetOutput();
        break;
    case ids::kMenuWriteRiff:
        ToggleWriteRiff();
        break;
    case ids::kMenuBeep:
        ToggleBeep();
        break;
    case ids::kMenuConversionDir:
        ChooseConversionDirectory();
        break;
    case ids::kMenuExit:
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        break;
    case ids::kSystemAbout:
    case ids::kMenuAbout:
        ShowAbout();
        break;
    case ids::kMenuCodecAbout:
        engine.ShowCodecAbout(this);
        break;
    case ids::kMenuHelpContents:
    case ids::kMenuHelpOnHelp:
        ShowHelp();
        break;
    default:
        break;
    }
}

void MainDialog::SelectInput()
{
    // The commands are disabled while busy; a late queued request must not analyse an input under
    // a running worker either.
    if (busy)
        return;
    if (!pendingInput.empty()) {
        LoadInput(pendingInput);
        return;
    }
    const QString chosen = RunInputChooser(this, folders);
    if (!chosen.isEmpty())
        LoadInput(ToPath(chosen));
}

void MainDialog::LoadInput(const std::string& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool analysed = engine.AnalyzeInput(path, false);
    QApplication::restoreOverrideCursor();
    // On failure the engine has shown its message; the window keeps what it showed.
    if (!analysed)
        return;

    // Float samples are named where integer ones have always read "PCM".
    const bool floatSamples = engine.GetInputFormat().wFormatTag == kWaveFormatIeeeFloat;
    inputFormat->setText(
        QStringLiteral("%1Hz %2 %3")
            .arg(engine.GetInputSamplesPerSec())
            .arg(engine.GetInputChannels() == 2 ? QStringLiteral("Stereo") : QStringLiteral("Mono"))
            .arg(floatSamples ? QStringLiteral("Float") : QStringLiteral("PCM")));
    const std::string output = DeriveOutputPath(path, engine.GetWriteRiff() != 0, conversionDir);
    engine.SetOutputPath(output);
    inputPathLabel->SetText(FromPath(path));
    outputPathLabel->SetText(FromPath(output));

    formatList->clear();
    for (unsigned i = 0; i < engine.GetFormatCount(); ++i)
        formatList->addItem(QString::fromUtf8(engine.GetFormatName(i).c_str()));
    formatList->setCurrentIndex(0);

    formatList->setEnabled(true);
    setOutputButton->setEnabled(true);
    encodeButton->setEnabled(true);
    previewButton->setEnabled(true);
    const int checked = presets->checkedId();
    if (checked != -1)
        ApplyPreset(checked);
}

void MainDialog::ApplyPreset(int id)
{
    presets->button(id)->setChecked(true);
    switch (id) {
    case ids::kPresetLowest:
        selectedFormat = engine.FindPresetFormat(Preset::Lowest);
        break;
    case ids::kPresetModem:
        selectedFormat = engine.FindPresetFormat(Preset::Modem);
        break;
    case ids::kPresetIsdn:
        selectedFormat = engine.FindPresetFormat(Preset::Isdn);
        break;
    default:
        TakeListSelection();
        break;
    }
    // An index the list does not hold clears its selection.
    formatList->setCurrentIndex(selectedFormat < formatList->count() ? selectedFormat : -1);
    outputFormat->setText(
        QString::fromUtf8(engine.GetFormatName(static_cast<unsigned>(selectedFormat)).c_str()));
}

void MainDialog::TakeListSelection()
{
    const int index = formatList->currentIndex();
    if (index == -1)
        return;
    outputFormat->setText(QString::fromUtf8(engine.GetFormatName(static_cast<unsigned>(index)).c_str()));
    selectedFormat = index;
}

void MainDialog::StartEncoding()
{
    engine.SetFormatIndex(selectedFormat);
    if (!engine.StartConversion())
        return;
    progress->Start();
    progressBar->setAccessibleDescription(QString::fromUtf8(kRunning));
    encodeButton->setText(QString::fromUtf8(kCancelText));
    busy = true;
    SetCommandsEnabled(false);
}

void MainDialog::OnConversionDone()
{
    // The worker has posted this as its last act, so joining it returns at once.
    engine.WaitForWorker();
    progress->Stop();
    progressBar->setAccessibleDescription(QString::fromUtf8(EndOfRun(engine.GetRunOutcome())));
    encodeButton->setText(QString::fromUtf8(kEncodeText));
    if (beepWhenDone != 0)
        presenter.Beep(EventSound::Complete);
    if (!pendingInput.empty())
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    busy = false;
    SetCommandsEnabled(true);
}

void MainDialog::SetCommandsEnabled(bool enabled)
{
    menu->Item(ids::kMenuSelectInput)->setEnabled(enabled);
    selectInputButton->setEnabled(enabled);
    setOutputButton->setEnabled(enabled);
    previewButton->setEnabled(enabled);
}

void MainDialog::PostNotify(std::uint32_t)
{
    QMetaObject::invokeMethod(
        this, [this] { OnConversionDone(); }, Qt::QueuedConnection);
}

void MainDialog::done(int result)
{
    // Every way of closing cancels a run. The window disappears at once, but it is finished only
    // when the worker has ended, so nothing the worker uses is destroyed under it.
    engine.RequestCancel();
    if (busy) {
        hide();
        WaitForRunEnd();
    }
    QDialog::done(result);
}

void MainDialog::WaitForRunEnd()
{
    // Events go on, so a message box the worker waits for can be shown and dismissed.
    while (busy)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void MainDialog::ShowOutputPath(const std::string& path)
{
    engine.SetOutputPath(path);
    outputPathLabel->SetText(FromPath(path));
}

void MainDialog::ToggleWriteRiff()
{
    engine.SetWriteRiff(engine.GetWriteRiff() != 0 ? 0 : 1);
    const bool writeRiff = engine.GetWriteRiff() != 0;
    menu->Item(ids::kMenuWriteRiff)->setChecked(writeRiff);
    const std::string output = engine.GetOutputPath();
    if (!output.empty())
        ShowOutputPath(ReplaceOutputExtension(output, writeRiff));
}

void MainDialog::ToggleBeep()
{
    beepWhenDone = beepWhenDone != 0 ? 0 : 1;
    menu->Item(ids::kMenuBeep)->setChecked(beepWhenDone != 0);
}

void MainDialog::ChooseConversionDirectory()
{
    QString folder = FromPath(conversionDir);
    if (RunFolderChooser(this, folder, folders))
        conversionDir = ToPath(folder);
    // Whatever the chooser returned, the current output moves into the conversion directory.
    const std::string output = engine.GetOutputPath();
    if (!output.empty() && !conversionDir.empty())
        ShowOutputPath(RebaseOutputPath(output, conversionDir));
}

void MainDialog::SetOutput()
{
    const QString chosen = RunOutputChooser(this, engine.GetWriteRiff() != 0, folders);
    if (!chosen.isEmpty())
        ShowOutputPath(ToPath(chosen));
}

void MainDialog::ShowAbout()
{
    AboutDialog about(this);
    about.exec();
}

void MainDialog::ShowHelp()
{
    // The help window has no owner, so a dialog in front, which blocks only its owners, leaves it
    // usable.
    if (helpWindow == nullptr)
        helpWindow = new HelpWindow;
    if (helpWindow->Open(helpFile.isEmpty() ? HelpWindow::FindHelpFile() : helpFile))
        return;
    // Help may be asked for in a dialog in front of this window, which must own the message.
    QWidget* owner = QApplication::activeModalWidget();
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), QString::fromUtf8(kHelpFailed),
                    QMessageBox::Ok, owner != nullptr ? owner : this);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

void MainDialog::ShowDriverAbout(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(title.c_str()),
                    QString::fromUtf8(text.c_str()), QMessageBox::Ok, this);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event)
{
    if (contextMenu != nullptr)
        contextMenu->exec(event->globalPos());
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (busy || !event->mimeData()->hasUrls())
        return;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void MainDialog::dropEvent(QDropEvent* event)
{
    // A drop while a run is on is ignored as a whole.
    if (busy)
        return;
    // Each file is loaded as if it had been chosen alone; the last one that loads stays.
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            LoadInput(ToPath(url.toLocalFile()));
    }
    event->acceptProposedAction();
}

} // namespace cantrix
