// The main window with real conversion workers: the busy state, cancelling, closing during a
// run, and the Qt sides of the engine's progress and message targets across threads.
#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"
#include "ui/control_ids.h"
#include "ui/main_dialog.h"
#include "ui/path_label.h"
#include "ui/qt_message_presenter.h"
#include "ui/qt_progress_target.h"
#include "ui_test_helpers.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <atomic>
#include <climits>
#include <cstring>
#include <thread>

namespace cantrix::test {
namespace {

// 1 MiB of PCM: 512 passes, so a run that is cancelled after its first pass cannot finish first.
constexpr std::uint32_t kDataBytes = 1 << 20;

FakeDriverConfig StandardCodec()
{
    FakeDriverConfig config;
    config.formats = {Layer3Format(3000, 2), Layer3Format(12000, 2), Layer3Format(16000, 2)};
    return config;
}

// A main window on a codec whose first conversion call waits at `gate` (when given).
struct Rig {
    explicit Rig(bool gated, MessagePresenter* messages = nullptr)
    {
        if (gated)
            codecs.Install(std::make_unique<GatedCodecDriver>(StandardCodec(), gate));
        else
            codecs.Install(std::make_unique<FakeCodecDriver>(StandardCodec()));
        MessagePresenter& used = messages != nullptr ? *messages : presenter;
        engine = std::make_unique<ConverterEngine>(codecs, &used);
        dialog = std::make_unique<MainDialog>(*engine, conversionDir, used);
        input = dir.File("song.wav");
        WriteFile(input, PcmWav(2, 44100, 16, Bytes(kDataBytes, 0x11)));
    }

    template <typename T> T* Find(int id) const { return dialog->findChild<T*>(QString::number(id)); }
    QPushButton* Button(int id) const { return Find<QPushButton>(id); }
    QAction* Menu(int id) const { return dialog->findChild<QAction*>(QString::number(id)); }
    QString PathText(int id) const { return Find<PathLabel>(id)->Text(); }

    void ShowWithInput()
    {
        dialog->show();
        dialog->LoadInput(input);
    }

    TempDir dir;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    CodecManager codecs;
    RecordingPresenter presenter;
    std::unique_ptr<ConverterEngine> engine;
    std::string conversionDir;
    std::unique_ptr<MainDialog> dialog;
    std::string input;
};

bool StartsWith(const std::string& path, const char* prefix)
{
    const Bytes bytes = ReadFile(path);
    const std::size_t length = std::strlen(prefix);
    return bytes.size() >= length && std::equal(prefix, prefix + length, bytes.begin());
}

// Checks the Busy row of the window's state table.
void ExpectBusy(const Rig& rig)
{
    QVERIFY(rig.dialog->IsBusy());
    QCOMPARE(rig.Button(ids::kEncode)->text(), QStringLiteral("CANCEL"));
    QVERIFY(rig.Button(ids::kEncode)->isEnabled());
    for (const int id : {ids::kSelectInput, ids::kSetOutput, ids::kPreview})
        QVERIFY(!rig.Button(id)->isEnabled());
    QVERIFY(!rig.Menu(ids::kMenuSelectInput)->isEnabled());
    QVERIFY(rig.Find<QComboBox>(ids::kFormatList)->isEnabled());
    for (const int id : {ids::kPresetLowest, ids::kPresetModem, ids::kPresetIsdn, ids::kPresetList})
        QVERIFY(rig.Find<QRadioButton>(id)->isEnabled());
    for (const int id : {ids::kMenuWriteRiff, ids::kMenuBeep, ids::kMenuConversionDir, ids::kMenuExit,
                         ids::kMenuAbout, ids::kMenuHelpContents})
        QVERIFY(rig.Menu(id)->isEnabled());
}

// Checks the Input loaded row after a run.
void ExpectLoaded(const Rig& rig)
{
    QVERIFY(!rig.dialog->IsBusy());
    QCOMPARE(rig.Button(ids::kEncode)->text(), QStringLiteral("Encode"));
    for (const int id : {ids::kEncode, ids::kSelectInput, ids::kSetOutput, ids::kPreview})
        QVERIFY(rig.Button(id)->isEnabled());
    QVERIFY(rig.Menu(ids::kMenuSelectInput)->isEnabled());
    QCOMPARE(rig.Find<QProgressBar>(ids::kProgress)->value(), 0);
}

// How the run's end is told to screen readers.
QString Announced(const Rig& rig)
{
    return rig.Find<QProgressBar>(ids::kProgress)->accessibleDescription();
}

constexpr int kLongWait = 60000;

} // namespace

class MainDialogRunTest : public QObject {
    Q_OBJECT

private slots:
    void aRunBusiesTheWindowUntilItEnds_data()
    {
        QTest::addColumn<int>("beep");
        QTest::newRow("beep on") << 1;
        QTest::newRow("beep off") << 0;
    }

    void aRunBusiesTheWindowUntilItEnds()
    {
        QFETCH(int, beep);
        Rig rig(false);
        rig.dialog->SetBeepWhenDone(beep);
        rig.ShowWithInput();
        rig.Button(ids::kEncode)->click();
        // The end message can only arrive through the event loop, so the window is still busy.
        ExpectBusy(rig);
        QCOMPARE(Announced(rig), QStringLiteral("Converting"));
        // Presets stay usable and change only the next run's choice.
        rig.Find<QRadioButton>(ids::kPresetIsdn)->click();
        QCOMPARE(rig.dialog->GetSelectedFormat(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->IsBusy(), kLongWait);
        ExpectLoaded(rig);
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Finished);
        QCOMPARE(Announced(rig), QStringLiteral("Conversion finished"));
        QCOMPARE(rig.presenter.Sounds(),
                 beep != 0 ? std::vector<EventSound>{EventSound::Complete} : std::vector<EventSound>{});
        QVERIFY(StartsWith(rig.engine->GetOutputPath(), "RIFF"));
        QVERIFY(rig.dialog->isVisible());
    }

    void cancelStopsTheRun()
    {
        Rig rig(true);
        rig.ShowWithInput();
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.gate->WaitArrived());
        // The worker has set the bar's range; the window's timer shows it while the run is on.
        QTRY_COMPARE_WITH_TIMEOUT(rig.Find<QProgressBar>(ids::kProgress)->maximum(),
                                  static_cast<int>(kDataBytes >> 11), kLongWait);
        rig.Button(ids::kEncode)->click();
        ExpectBusy(rig); // busy until the worker has ended
        rig.gate->Open();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->IsBusy(), kLongWait);
        ExpectLoaded(rig);
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Cancelled);
        QCOMPARE(Announced(rig), QStringLiteral("Conversion cancelled"));
        QCOMPARE(rig.presenter.Sounds(), std::vector<EventSound>{EventSound::Complete});
        QVERIFY(rig.presenter.Messages().empty());
    }

    void aDropWhileBusyChangesNothing_data()
    {
        QTest::addColumn<bool>("enteredBeforeTheRun");
        QTest::newRow("dragged in during the run") << false;
        QTest::newRow("dragged in before the run") << true;
    }

    void aDropWhileBusyChangesNothing()
    {
        QFETCH(bool, enteredBeforeTheRun);
        Rig rig(true);
        rig.ShowWithInput();
        const std::string other = rig.dir.File("other.wav");
        WriteFile(other, PcmWav(1, 22050, 16, Bytes(4096, 0x22)));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        if (enteredBeforeTheRun) {
            QCoreApplication::sendEvent(rig.dialog.get(), &enter);
            QVERIFY(enter.isAccepted());
        }
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.gate->WaitArrived());
        if (!enteredBeforeTheRun) {
            QCoreApplication::sendEvent(rig.dialog.get(), &enter);
            QVERIFY(!enter.isAccepted());
        }
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(rig.dialog.get(), &drop);

        QCOMPARE(rig.PathText(ids::kInputPath), QString::fromStdString(rig.input));
        QCOMPARE(rig.Find<QLabel>(ids::kInputFormat)->text(), QStringLiteral("44100Hz Stereo PCM"));
        QCOMPARE(rig.engine->GetInputPath(), rig.input);
        rig.gate->Open();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->IsBusy(), kLongWait);
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Finished);
        QVERIFY(rig.presenter.Messages().empty());
    }

    void togglingTheContainerDuringARunAffectsTheNextRunOnly()
    {
        Rig rig(true);
        rig.ShowWithInput();
        const std::string started = rig.engine->GetOutputPath();
        QCOMPARE(started, rig.dir.File("song Layer-3.wav"));
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.gate->WaitArrived());
        rig.Menu(ids::kMenuWriteRiff)->trigger();
        QCOMPARE(rig.PathText(ids::kOutputPath), QString::fromStdString(rig.dir.File("song Layer-3.mp3")));
        rig.gate->Open();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->IsBusy(), kLongWait);

        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Finished);
        QVERIFY(StartsWith(started, "RIFF"));
        QVERIFY(!QFile::exists(QString::fromStdString(rig.dir.File("song Layer-3.mp3"))));
    }

    void pendingInputClosesAfterTheFirstRun_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("finished") << false;
        QTest::newRow("cancelled") << true;
    }

    void pendingInputClosesAfterTheFirstRun()
    {
        QFETCH(bool, cancel);
        Rig rig(true);
        rig.dialog->SetPendingInput(rig.input);
        rig.dialog->show();
        QTRY_COMPARE(rig.PathText(ids::kInputPath), QString::fromStdString(rig.input));
        QSignalSpy finished(rig.dialog.get(), &QDialog::finished);
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.gate->WaitArrived());
        if (cancel)
            rig.Button(ids::kEncode)->click();
        rig.gate->Open();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->isVisible(), kLongWait);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(rig.engine->GetRunOutcome(), cancel ? RunOutcome::Cancelled : RunOutcome::Finished);
    }

    void closingWhileBusyCancelsAndWaits()
    {
        Rig rig(true);
        rig.ShowWithInput();
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.gate->WaitArrived());
        // The gate opens from the events that the closing window keeps processing.
        QTimer::singleShot(0, [&] { rig.gate->Open(); });
        rig.dialog->close();
        QVERIFY(!rig.dialog->isVisible());
        QVERIFY(!rig.dialog->IsBusy());
        QVERIFY(!rig.engine->IsBusy());
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Cancelled);
        rig.dialog.reset();
        rig.engine.reset();
    }

    void destroyingTheWindowWhileBusyWaitsForTheWorker()
    {
        Rig rig(true);
        rig.ShowWithInput();
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.gate->WaitArrived());
        QTimer::singleShot(0, [&] { rig.gate->Open(); });
        rig.dialog.reset();
        QVERIFY(!rig.engine->IsBusy());
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Cancelled);
    }

    void closingWhileTheWorkerWaitsOnAMessageEndsCleanly()
    {
        QtMessagePresenter messages;
        Rig rig(false, &messages);
        rig.ShowWithInput();
        // An output in a folder that does not exist: the worker shows 105 and waits for it.
        rig.engine->SetOutputPath(rig.dir.File("no such folder/out.wav"));
        ModalWatcher watcher;
        rig.Button(ids::kEncode)->click();
        QVERIFY(rig.dialog->IsBusy());
        rig.dialog->close();

        QVERIFY(!rig.dialog->IsBusy());
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Failed);
        QCOMPARE(Announced(rig), QStringLiteral("Conversion failed"));
        QCOMPARE(watcher.Seen().size(), std::size_t{1});
        const SeenModal& seen = watcher.Seen()[0];
        QCOMPARE(seen.text, QString::fromStdString(LoadString(strings::kOutputCannotOpen)));
        QCOMPARE(seen.title, QApplication::applicationName());
        QCOMPARE(seen.icon, QMessageBox::Warning);
    }

    void presenterBlocksAWorkerUntilTheBoxIsDismissed()
    {
        QtMessagePresenter presenter;
        std::atomic<bool> returned{false};
        bool returnedWhileShown = true;
        ModalWatcher watcher([&](QWidget* modal) {
            returnedWhileShown = returned.load();
            qobject_cast<QDialog*>(modal)->reject();
        });
        std::thread worker([&] {
            presenter.ShowMessage(strings::kInputCannotOpen);
            returned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), kLongWait);
        worker.join();
        QVERIFY(!returnedWhileShown);
        QCOMPARE(watcher.Seen().size(), std::size_t{1});
        QCOMPARE(watcher.Seen()[0].text, QString::fromStdString(LoadString(strings::kInputCannotOpen)));

        // On the user-interface thread the box is shown directly.
        presenter.ShowMessage(strings::kInputNotPcm);
        QCOMPARE(watcher.Seen().size(), std::size_t{2});
        QCOMPARE(watcher.Seen()[1].text, QString::fromStdString(LoadString(strings::kInputNotPcm)));
    }

    void previewWithoutASoundServerClosesByItselfAndKeepsTheInput()
    {
        // No server answers at this address, so the preview encodes, skips playback silently
        // and closes its dialog by itself.
        qputenv("PULSE_SERVER", "unix:/nonexistent/cantrix-test/native");
        Rig rig(false);
        rig.ShowWithInput();
        rig.Find<QRadioButton>(ids::kPresetIsdn)->click();
        rig.Button(ids::kPreview)->click();
        QCOMPARE(rig.engine->GetFormatIndex(), rig.dialog->GetSelectedFormat());
        QVERIFY(rig.engine->GetPreviewBytes() > 0);
        QVERIFY(QApplication::activeModalWidget() == nullptr ||
                QApplication::activeModalWidget() == rig.dialog.get());
        QVERIFY(rig.presenter.Messages().empty());
        QCOMPARE(rig.engine->GetInputPath(), rig.input);
        ExpectLoaded(rig);

        rig.Button(ids::kEncode)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialog->IsBusy(), kLongWait);
        QCOMPARE(rig.engine->GetRunOutcome(), RunOutcome::Finished);
        qunsetenv("PULSE_SERVER");
    }

    void progressTargetShowsWhatTheWorkerStored()
    {
        QProgressBar bar;
        QtProgressTarget target(bar);
        // The window reads while the worker steps, as its timer does during a run.
        std::atomic<bool> stepped{false};
        std::thread worker([&] {
            target.SetRange(1000);
            target.SetStep(1);
            for (int i = 0; i < 500; ++i)
                target.StepIt();
            stepped = true;
        });
        while (!stepped.load())
            target.Sync();
        worker.join();
        target.Sync();
        QCOMPARE(bar.maximum(), 1000);
        QCOMPARE(bar.value(), 500);

        // Past its maximum the bar stays full; SetPos(0) empties it.
        for (int i = 0; i < 600; ++i)
            target.StepIt();
        target.Sync();
        QCOMPARE(bar.value(), 1000);
        target.SetPos(0);
        target.Sync();
        QCOMPARE(bar.value(), 0);

        // A range beyond int keeps its proportions; an empty range shows an empty bar, not the
        // busy animation.
        target.SetRange(UINT32_MAX);
        target.SetPos(UINT32_MAX / 2);
        target.Sync();
        QVERIFY(bar.maximum() > 0 && bar.maximum() <= INT_MAX);
        QCOMPARE(bar.value(), bar.maximum() / 2);
        target.SetRange(0);
        target.Sync();
        QCOMPARE(bar.value(), 0);
        QVERIFY(bar.maximum() > bar.minimum());
    }
};

} // namespace cantrix::test

QTEST_MAIN(cantrix::test::MainDialogRunTest)
#include "main_dialog_run_test.moc"
