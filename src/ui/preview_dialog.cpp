#include "ui/preview_dialog.h"

#include "engine/preview_run.h"
#include "ui/accessible_widgets.h"
#include "ui/dialog_face.h"
#include "ui/dialog_units.h"
#include "ui/path_label.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace cantrix {

namespace {
constexpr int kWidthUnits = 192;
constexpr int kHeightUnits = 60;
constexpr int kProgressId = 1000;
constexpr int kCancelId = 2;
constexpr int kStatusId = 1021;
constexpr int kInputId = 1022;
constexpr int kFormatId = 1023;
constexpr const char* kCaption = "Compression Preview";
// The status line's text until the preview thread replaces it, at once.
constexpr const char* kInitialStatus = "Gone Fishing";
constexpr const char* kNothing = "-";
// What screen readers read beside what the dialog shows.
constexpr const char* kProgressName = "Preview progress";
constexpr const char* kInputName = "Input file";
constexpr const char* kFormatName = "Layer-3 format";
// Often enough that the dialog follows the worker without visible delay, rarely enough to cost
// nothing.
constexpr int kSyncMilliseconds = 20;

QLabel* AddStatic(QWidget* face, const DialogUnits& units, int id, const char* text, int x, int y, int width)
{
    auto* label = new QLabel(QString::fromUtf8(text), face);
    PlaceControl(label, units, id, x, y, width, 8);
    return label;
}
} // namespace

PreviewDialog::PreviewDialog(PreviewRun& run, QWidget* parent) : QDialog(parent), run(run)
{
    setObjectName(QStringLiteral("134"));
    setWindowTitle(QString::fromUtf8(kCaption));
    // A caption and a frame, but no system menu and so no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // Blocks the main window only, so the help window stays usable.
    setWindowModality(Qt::WindowModal);
    InstallAccessibleWidgets();

    const DialogUnits units(font());
    auto* face = new DialogFace(QSize(units.X(kWidthUnits), units.Y(kHeightUnits)), false, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(face);

    cancel = new QPushButton(QStringLiteral("Cancel"), face);
    PlaceControl(cancel, units, kCancelId, 135, 23, 50, 14);
    // Enter stands for OK, which only the preview thread's close may give: Cancel must not be
    // the default button that Enter would press.
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &PreviewDialog::reject);

    status = AddStatic(face, units, kStatusId, kInitialStatus, 7, 29, 118);
    input = new PathLabel(QString::fromUtf8(kNothing), face);
    PlaceControl(input, units, kInputId, 7, 7, 178, 8);
    input->setAccessibleDescription(QString::fromUtf8(kInputName));
    format = AddStatic(face, units, kFormatId, kNothing, 7, 18, 117);
    format->setAccessibleDescription(QString::fromUtf8(kFormatName));

    progress = new QProgressBar(face);
    PlaceControl(progress, units, kProgressId, 7, 42, 178, 11);
    progress->setTextVisible(false);
    progress->setAccessibleName(QString::fromUtf8(kProgressName));

    syncTimer.setInterval(kSyncMilliseconds);
    connect(&syncTimer, &QTimer::timeout, this, &PreviewDialog::Sync);
}

PreviewDialog::~PreviewDialog()
{
    if (!run.Started())
        return;
    destroying = true;
    if (!workerClosed) {
        // The worker stops after its pass in progress, or at once while it plays. Events keep
        // running meanwhile (the sync timer among them), so a message it shows on its way out can
        // still be answered.
        run.Cancel();
        while (!workerClosed)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // Its close was its last act: the join returns at once.
    run.Join();
}

void PreviewDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (run.Started())
        return;
    syncTimer.start();
    run.Start(*this);
}

void PreviewDialog::reject()
{
    run.Cancel();
}

void PreviewDialog::SetStatusText(const std::string& text)
{
    std::lock_guard lock(mutex);
    changes.status = text;
}

void PreviewDialog::SetInputText(const std::string& path)
{
    std::lock_guard lock(mutex);
    changes.input = path;
}

void PreviewDialog::SetFormatText(const std::string& text)
{
    std::lock_guard lock(mutex);
    changes.format = text;
}

void PreviewDialog::SetProgressRange(std::uint32_t maximum)
{
    std::lock_guard lock(mutex);
    changes.range = maximum;
    // A new range starts the bar over.
    changes.position = 0;
}

void PreviewDialog::SetProgressPos(std::uint32_t position)
{
    std::lock_guard lock(mutex);
    changes.position = position;
}

void PreviewDialog::PostClose()
{
    std::lock_guard lock(mutex);
    changes.closed = true;
}

void PreviewDialog::Sync()
{
    Changes taken;
    {
        std::lock_guard lock(mutex);
        std::swap(taken, changes);
    }
    if (taken.status) {
        const QString text = QString::fromUtf8(taken.status->c_str());
        status->setText(text);
        // Cancel holds the focus all along, and screen readers speak what the focused control's
        // description turns into.
        cancel->setAccessibleDescription(text);
    }
    if (taken.input)
        input->SetText(QFile::decodeName(QByteArray::fromStdString(*taken.input)));
    if (taken.format)
        format->setText(QString::fromUtf8(taken.format->c_str()));
    if (taken.range) {
        progressMaximum = static_cast<int>(std::min<std::uint32_t>(*taken.range, INT_MAX));
        // A range of 0 shows an empty bar; the bar itself would show a busy animation.
        progress->setRange(0, std::max(progressMaximum, 1));
    }
    if (taken.position)
        progress->setValue(static_cast<int>(std::min<std::uint32_t>(*taken.position, progressMaximum)));
    if (!taken.closed)
        return;
    workerClosed = true;
    syncTimer.stop();
    if (!destroying)
        accept();
}

} // namespace cantrix
