// The compression preview's dialog with real preview threads, without a sound server: what it
// shows, the keys and requests that must not end it, Cancel, its own close at the end, and its
// destruction while the thread still runs.
#include "engine/converter_engine.h"
#include "engine/preview_run.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"
#include "ui/dialog_units.h"
#include "ui/path_label.h"
#include "ui/preview_dialog.h"
#include "ui/qt_message_presenter.h"
#include "ui/qt_preview_host.h"
#include "ui_test_helpers.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <stdlib.h>

namespace cantrix::test {
namespace {

// 1 MiB of 16-bit stereo PCM at 44.1 kHz: longer than the five-second slice.
constexpr std::uint32_t kDataBytes = 1 << 20;
constexpr std::uint32_t kSlicePcmBytes = 5 * 176400;
// The fake codec never fills five seconds of this format, so the PCM limit ends the slice.
constexpr int kFormat = 1;
constexpr int kLongWait = 60000;

// Passes of an uncancelled preview: the refills reach five seconds of PCM.
int FullPasses()
{
    return static_cast<int>((kSlicePcmBytes + kCallerBlockBytes - 1) / kCallerBlockBytes);
}

// An engine with a loaded input on a fake codec, gated at its first conversion call if asked.
struct Rig {
    explicit Rig(bool gated, FakeDriverConfig config = {}, MessagePresenter* messages = nullptr)
    {
        config.formats = {Layer3Format(16000, 2), Layer3Format(400000, 2)};
        log = config.log;
        if (gated)
            codecs.Install(std::make_unique<GatedCodecDriver>(config, gate));
        else
            codecs.Install(std::make_unique<FakeCodecDriver>(config));
        engine = std::make_unique<ConverterEngine>(codecs, messages != nullptr ? messages : &presenter);
        input = dir.File("Ton \xC3\xBC.wav");
        WriteFile(input, PcmWav(2, 44100, 16, Bytes(kDataBytes, 0x11)));
        engine->AnalyzeInput(input, false);
        engine->SetFormatIndex(kFormat);
    }

    TempDir dir;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::shared_ptr<FakeDriverLog> log;
    CodecManager codecs;
    RecordingPresenter presenter;
    std::unique_ptr<ConverterEngine> engine;
    std::string input;
};

// A host that hands the preview run, its input opened, to the test, which builds the dialog itself.
class TestHost : public PreviewHost {
public:
    explicit TestHost(std::function<void(PreviewRun&)> body) : body(std::move(body)) {}
    void RunPreviewDialog(PreviewRun& run) override { body(run); }

private:
    std::function<void(PreviewRun&)> body;
};

// Opens the gate when it goes out of scope, so that a failed check never leaves a worker waiting.
struct OpenOnExit {
    std::shared_ptr<Gate> gate;
    ~OpenOnExit() { gate->Open(); }
};

template <typename T> T* Control(QWidget& dialog, int id)
{
    return dialog.findChild<T*>(QString::number(id));
}

} // namespace

class PreviewDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // libpulse finds no server here, so no test plays sound or waits for playback.
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + runtime.File("pulse/native")).c_str(), 1);
    }

    void itIsTemplate134()
    {
        Rig rig(false);
        PreviewRun run(rig.codecs, RiffFile(), InputDescription(), rig.engine->GetFormats()[kFormat],
                       rig.input, nullptr);
        PreviewDialog dialog(run);
        QCOMPARE(dialog.objectName(), QStringLiteral("134"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Compression Preview"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowSystemMenuHint));
        const DialogUnits units(dialog.font());
        QCOMPARE(Control<QLabel>(dialog, 1021)->text(), QStringLiteral("Gone Fishing"));
        QCOMPARE(Control<QLabel>(dialog, 1021)->geometry(), units.Rect(7, 29, 118, 8));
        QCOMPARE(Control<PathLabel>(dialog, 1022)->Text(), QStringLiteral("-"));
        QCOMPARE(Control<PathLabel>(dialog, 1022)->geometry(), units.Rect(7, 7, 178, 8));
        QCOMPARE(Control<QLabel>(dialog, 1023)->text(), QStringLiteral("-"));
        QCOMPARE(Control<QProgressBar>(dialog, 1000)->geometry(), units.Rect(7, 42, 178, 11));
        QCOMPARE(Control<QPushButton>(dialog, 2)->text(), QStringLiteral("Cancel"));
        QCOMPARE(Control<QPushButton>(dialog, 2)->geometry(), units.Rect(135, 23, 50, 14));
        QCOMPARE(dialog.findChildren<QPushButton*>().size(), 1);
    }

    void theWorkerFillsItInAndEnterDoesNotEndIt()
    {
        Rig rig(true);
        TestHost host([&](PreviewRun& run) {
            PreviewDialog dialog(run);
            OpenOnExit opener{rig.gate};
            QSignalSpy finished(&dialog, &QDialog::finished);
            dialog.show();
            QVERIFY(rig.gate->WaitArrived());
            QTRY_COMPARE_WITH_TIMEOUT(Control<QProgressBar>(dialog, 1000)->maximum(),
                                      static_cast<int>(kSlicePcmBytes / kCallerBlockBytes), kLongWait);
            QCOMPARE(Control<QLabel>(dialog, 1021)->text(), QStringLiteral("Status: Preparing Preview..."));
            QCOMPARE(Control<PathLabel>(dialog, 1022)->Text(), QString::fromUtf8(rig.input.c_str()));
            QCOMPARE(Control<QLabel>(dialog, 1023)->text(),
                     QString::fromStdString(rig.engine->GetFormatName(kFormat)));

            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(&dialog, Qt::Key_Enter);
            QTest::keyClick(Control<QPushButton>(dialog, 2), Qt::Key_Return);
            QCoreApplication::processEvents();
            QVERIFY(dialog.isVisible());
            QCOMPARE(finished.count(), 0);

            rig.gate->Open();
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kLongWait);
            QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(QDialog::Accepted));
            QVERIFY(!dialog.isVisible());
        });
        QVERIFY(rig.engine->RunPreview(host));
        // Enter asked for nothing: the whole slice was encoded.
        QCOMPARE(rig.log->convertCalls.load(), FullPasses());
        QVERIFY(rig.engine->GetPreviewBytes() > 0);
        QCOMPARE(rig.engine->GetInputPath(), rig.input);
        QVERIFY(!rig.engine->IsInputOpen());
    }

    void cancelRequestsKeepItOpenUntilTheWorkerCloses_data()
    {
        QTest::addColumn<QString>("request");
        QTest::newRow("Cancel button") << QStringLiteral("button");
        QTest::newRow("Escape") << QStringLiteral("escape");
        QTest::newRow("close request") << QStringLiteral("close");
    }

    void cancelRequestsKeepItOpenUntilTheWorkerCloses()
    {
        QFETCH(QString, request);
        Rig rig(true);
        TestHost host([&](PreviewRun& run) {
            PreviewDialog dialog(run);
            OpenOnExit opener{rig.gate};
            QSignalSpy finished(&dialog, &QDialog::finished);
            dialog.show();
            QVERIFY(rig.gate->WaitArrived());
            if (request == QLatin1String("button"))
                QTest::mouseClick(Control<QPushButton>(dialog, 2), Qt::LeftButton);
            else if (request == QLatin1String("escape"))
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QVERIFY(!dialog.close());
            QCoreApplication::processEvents();
            QVERIFY(dialog.isVisible());
            QCOMPARE(finished.count(), 0);

            rig.gate->Open();
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kLongWait);
            QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(QDialog::Accepted));
        });
        QVERIFY(rig.engine->RunPreview(host));
        // The pass in progress was finished, then the worker stopped without playing.
        QCOMPARE(rig.log->convertCalls.load(), 1);
        QCOMPARE(rig.engine->GetPreviewBytes(), 0u);
        QCOMPARE(rig.engine->GetInputPath(), rig.input);
    }

    void destroyingItWhileTheWorkerRunsCancelsAndJoins()
    {
        Rig rig(true);
        TestHost host([&](PreviewRun& run) {
            auto dialog = std::make_unique<PreviewDialog>(run);
            dialog->show();
            QVERIFY(rig.gate->WaitArrived());
            // Opened from inside the destructor's wait.
            QTimer::singleShot(0, [gate = rig.gate] { gate->Open(); });
            dialog.reset();
            // The worker has ended: it closed the input before its last call.
            QVERIFY(!rig.engine->IsInputOpen());
        });
        QVERIFY(rig.engine->RunPreview(host));
        QCOMPARE(rig.log->convertCalls.load(), 1);
        QCOMPARE(rig.engine->GetPreviewBytes(), 0u);
    }

    void theWindowHostRunsItModallyAndItClosesItself()
    {
        Rig rig(true);
        // The worker waits until the dialog has been seen up, modal; a minute at most.
        ModalWatcher watcher([&](QWidget* modal) {
            if (qobject_cast<PreviewDialog*>(modal) != nullptr)
                rig.gate->Open();
        });
        QTimer::singleShot(kLongWait, [gate = rig.gate] { gate->Open(); });
        QtPreviewHost host(nullptr);
        QVERIFY(rig.engine->RunPreview(host));
        QCOMPARE(watcher.Seen().size(), std::size_t{1});
        QCOMPARE(watcher.Seen()[0].className, QStringLiteral("cantrix::PreviewDialog"));
        QCOMPARE(rig.log->convertCalls.load(), FullPasses());
        QCOMPARE(rig.engine->GetInputPath(), rig.input);
        QVERIFY(!rig.engine->IsInputOpen());
        QVERIFY(rig.presenter.Messages().empty());
    }

    void aMessageFromTheWorkerIsAnsweredAndTheDialogStillCloses()
    {
        QtMessagePresenter messages;
        FakeDriverConfig config;
        config.convertFailsAtCall = 2;
        Rig rig(false, config, &messages);
        ModalWatcher watcher([](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                box->accept();
        });
        QtPreviewHost host(nullptr);
        QVERIFY(rig.engine->RunPreview(host));
        // The box was shown while the dialog waited for its worker, answered, and then the
        // worker closed the dialog.
        const QString text = QString::fromUtf8(LoadString(strings::kCodecFailed).c_str());
        QVERIFY(std::any_of(watcher.Seen().begin(), watcher.Seen().end(),
                            [&](const SeenModal& seen) { return seen.text == text; }));
        QCOMPARE(rig.engine->GetPreviewBytes(), 0u);
        QVERIFY(rig.engine->GetInputPath().empty());
    }

private:
    TempDir runtime;
};

} // namespace cantrix::test

QTEST_MAIN(cantrix::test::PreviewDialogTest)
#include "platform/codec_driver.h"
#include "preview_dialog_test.moc"
