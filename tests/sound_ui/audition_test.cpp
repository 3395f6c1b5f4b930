// The input chooser's audition heard through the null sink of tests/sound/pulse_session.sh: PLAY
// plays WAV and MP3 files whatever their names hold, PLAY again starts over, STOP silences, a file
// that cannot be played ends the earlier audition and plays nothing, and closing the chooser in
// any way ends the sound. Without the private server every test skips.
#include "sound/sound_check.h"
#include "ui/input_file_chooser.h"
#include "ui/ui_test_helpers.h"

#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QPushButton>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTreeView>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sndfile.h>
#include <stdlib.h>

using namespace cantrix;
using cantrix::test::OurStreamPlays;
using test::LoudStretch;
using test::ModalWatcher;

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kAmplitude = 0.5;
constexpr int kPcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
// Lets the last sound reach the recording before it stops.
constexpr int kRecordingTailMs = 400;
// Waited after a stop or a close before the recording ends; at least half of it must be quiet.
constexpr int kAfterStopMs = 1000;
constexpr double kQuietTailSeconds = 0.5;
constexpr auto kStreamLimit = std::chrono::seconds(30);

// A name the chooser must pass on whole: blanks, both kinds of quotes, non-ASCII letters.
const QString kToneName = QStringLiteral("Ton \"für\" 'Übung' eins");

// Waits, with the window's events flowing, until our stream plays or has ended.
bool WaitForStream(bool playing)
{
    const auto deadline = std::chrono::steady_clock::now() + kStreamLimit;
    while (OurStreamPlays() != playing) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QTest::qWait(20);
    }
    return true;
}

double RecordedSeconds(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return 0;
    sf_close(file);
    return static_cast<double>(info.frames) / info.samplerate;
}

QString ToQt(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Tone pieces one after the other: (frequency, seconds), frequency 0 for silence.
std::vector<std::int16_t> Tones(std::initializer_list<std::pair<double, double>> pieces)
{
    std::vector<std::int16_t> samples;
    for (const auto& [frequency, seconds] : pieces) {
        const auto piece = test::Tone(frequency, seconds, kRate, kChannels, frequency > 0 ? kAmplitude : 0);
        samples.insert(samples.end(), piece.begin(), piece.end());
    }
    return samples;
}

// Clicks `path` in the dialog's file list. Names with quotes can only be picked this way: in the
// name field quotes enclose names.
void ClickFile(const QFileDialog& dialog, const QString& path)
{
    auto* model = dialog.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    // The list shows a file once the model has read its folder and applied the file type.
    QTRY_VERIFY(model->index(path).isValid());
    const QModelIndex index = model->index(path);
    view->setFocus(Qt::MouseFocusReason);
    view->selectionModel()->setCurrentIndex(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(dialog.selectedFiles(), QStringList(path));
}

void Click(const QFileDialog& dialog, int id)
{
    QTest::mouseClick(dialog.findChild<QPushButton*>(QString::number(id)), Qt::LeftButton);
}

QPushButton* DialogButton(const QFileDialog& dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(which);
}

constexpr int kPlayId = 1008;
constexpr int kStopId = 1011;

} // namespace

class AuditionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void playsWavAndMp3_data();
    void playsWavAndMp3();
    void playAgainRestartsAndStopSilences();
    void unplayableFileEndsTheEarlierOneSilently();
    void closingStopsTheSound_data();
    void closingStopsTheSound();

private:
    std::unique_ptr<InputFileChooser> ShowChooser();
    // Ends the recording after a short tail and returns what was heard.
    std::vector<LoudStretch> StopRecording();
    // Seconds of the recording after the last loud stretch.
    double QuietTail(const std::vector<LoudStretch>& heard) const;

    std::unique_ptr<test::ScratchDir> scratch;
    QString folder;
    std::string recordingPath;
    std::unique_ptr<test::Recording> recording;
    std::unique_ptr<ModalWatcher> watcher;
};

void AuditionTest::initTestCase()
{
    if (!test::NullSinkAvailable())
        QSKIP("no private sound server; run through tests/sound/pulse_session.sh");
    setenv("PULSE_SINK", "nullsink", 1);
    QStandardPaths::setTestModeEnabled(true);

    scratch = std::make_unique<test::ScratchDir>();
    QVERIFY(!scratch->Path().empty());
    folder = ToQt(scratch->Path());
    const std::string toneBase = QFile::encodeName(kToneName).toStdString();
    const std::string toneWav = scratch->File(toneBase + ".wav");
    QVERIFY(test::WriteSoundFile(toneWav, kPcm16, kRate, kChannels, Tones({{700, 1.0}})));
    QVERIFY(test::EncodeWithLame(toneWav, scratch->File(toneBase + ".mp3"), 128));
    // Each tone begins after a pause, so that a restart shows as a stretch of its own, and the
    // first tone's pitch shows where playback began.
    QVERIFY(test::WriteSoundFile(scratch->File("two tones.wav"), kPcm16, kRate, kChannels,
                                 Tones({{0, 0.3}, {500, 0.5}, {0, 0.3}, {1000, 20}})));
    QVERIFY(test::WriteSoundFile(scratch->File("low tone.wav"), kPcm16, kRate, kChannels,
                                 Tones({{0, 0.3}, {300, 20}})));
    std::ofstream(scratch->File("not sound.wav")) << "not a sound file";
    recordingPath = scratch->File("recording.wav");
}

void AuditionTest::cleanupTestCase()
{
    QThreadPool::globalInstance()->waitForDone();
    scratch.reset();
}

void AuditionTest::init()
{
    watcher = std::make_unique<ModalWatcher>();
    recording = std::make_unique<test::Recording>(recordingPath);
    QVERIFY(recording->Start());
}

void AuditionTest::cleanup()
{
    // No message of any kind, whatever the test played.
    QVERIFY(watcher->Seen().empty());
    watcher.reset();
    recording.reset();
    QVERIFY(!OurStreamPlays());
}

std::unique_ptr<InputFileChooser> AuditionTest::ShowChooser()
{
    auto chooser = std::make_unique<InputFileChooser>(nullptr);
    chooser->setDirectory(folder);
    chooser->show();
    if (!QTest::qWaitForWindowExposed(chooser.get()))
        return nullptr;
    return chooser;
}

std::vector<LoudStretch> AuditionTest::StopRecording()
{
    QTest::qWait(kRecordingTailMs);
    recording->Stop();
    return test::FindLoudStretches(recordingPath);
}

double AuditionTest::QuietTail(const std::vector<LoudStretch>& heard) const
{
    const double end = heard.empty() ? 0 : heard.back().startSeconds + heard.back().seconds;
    return RecordedSeconds(recordingPath) - end;
}

void AuditionTest::playsWavAndMp3_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("WAV") << ".wav";
    QTest::newRow("MP3") << ".mp3";
}

void AuditionTest::playsWavAndMp3()
{
    QFETCH(QString, suffix);
    const auto chooser = ShowChooser();
    QVERIFY(chooser != nullptr);
    // The MP3 is listed only with all files shown.
    chooser->selectNameFilter(QStringLiteral("All Files (*.*)"));
    ClickFile(*chooser, folder + "/" + kToneName + suffix);
    Click(*chooser, kPlayId);
    QVERIFY(WaitForStream(true));
    // At the end of the file the sound ends by itself.
    QVERIFY(WaitForStream(false));
    DialogButton(*chooser, QDialogButtonBox::Cancel)->click();

    const std::vector<LoudStretch> heard = StopRecording();
    QCOMPARE(heard.size(), std::size_t{1});
    QVERIFY2(std::abs(heard[0].seconds - 1.0) < 0.3, qPrintable(QString::number(heard[0].seconds)));
    QVERIFY2(std::abs(heard[0].frequency - 700) < 35, qPrintable(QString::number(heard[0].frequency)));
}

void AuditionTest::playAgainRestartsAndStopSilences()
{
    const auto chooser = ShowChooser();
    QVERIFY(chooser != nullptr);
    ClickFile(*chooser, folder + "/two tones.wav");
    Click(*chooser, kPlayId);
    QVERIFY(WaitForStream(true));
    QTest::qWait(1500);
    // Well into the second tone: PLAY starts the file over.
    Click(*chooser, kPlayId);
    QTest::qWait(1500);
    // Naming another file leaves the first one playing; PLAY then switches to it.
    ClickFile(*chooser, folder + "/low tone.wav");
    QTest::qWait(500);
    QVERIFY(OurStreamPlays());
    Click(*chooser, kPlayId);
    QTest::qWait(1000);
    Click(*chooser, kStopId);
    QVERIFY(!OurStreamPlays());
    QTest::qWait(kAfterStopMs);
    QVERIFY(chooser->isVisible());

    const std::vector<LoudStretch> heard = StopRecording();
    QCOMPARE(heard.size(), std::size_t{5});
    const double expected[] = {500, 1000, 500, 1000, 300};
    for (std::size_t i = 0; i < heard.size(); ++i)
        QVERIFY2(std::abs(heard[i].frequency - expected[i]) < expected[i] * 0.05,
                 qPrintable(QStringLiteral("stretch %1: %2 Hz").arg(i).arg(heard[i].frequency)));
    QVERIFY2(QuietTail(heard) > kQuietTailSeconds, qPrintable(QString::number(QuietTail(heard))));
}

void AuditionTest::unplayableFileEndsTheEarlierOneSilently()
{
    const auto chooser = ShowChooser();
    QVERIFY(chooser != nullptr);
    ClickFile(*chooser, folder + "/low tone.wav");
    Click(*chooser, kPlayId);
    QVERIFY(WaitForStream(true));
    QTest::qWait(800);
    ClickFile(*chooser, folder + "/not sound.wav");
    Click(*chooser, kPlayId);
    QVERIFY(!OurStreamPlays());
    QTest::qWait(kAfterStopMs);
    QVERIFY(chooser->isVisible());
    DialogButton(*chooser, QDialogButtonBox::Cancel)->click();

    const std::vector<LoudStretch> heard = StopRecording();
    QCOMPARE(heard.size(), std::size_t{1});
    QVERIFY(std::abs(heard[0].frequency - 300) < 15);
    QVERIFY2(QuietTail(heard) > kQuietTailSeconds, qPrintable(QString::number(QuietTail(heard))));
}

void AuditionTest::closingStopsTheSound_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Open") << "Open";
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("close box") << "close box";
    QTest::newRow("destroyed while shown") << "destroyed";
}

void AuditionTest::closingStopsTheSound()
{
    QFETCH(QString, how);
    auto chooser = ShowChooser();
    QVERIFY(chooser != nullptr);
    ClickFile(*chooser, folder + "/low tone.wav");
    Click(*chooser, kPlayId);
    QVERIFY(WaitForStream(true));
    QTest::qWait(800);

    if (how == "Open") {
        DialogButton(*chooser, QDialogButtonBox::Open)->click();
        QCOMPARE(chooser->result(), int(QDialog::Accepted));
    } else if (how == "Cancel") {
        DialogButton(*chooser, QDialogButtonBox::Cancel)->click();
    } else if (how == "Escape") {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus != nullptr && chooser->isAncestorOf(focus));
        QTest::keyClick(focus, Qt::Key_Escape);
    } else if (how == "close box") {
        QVERIFY(chooser->close());
    } else {
        chooser.reset();
    }
    QVERIFY(chooser == nullptr || !chooser->isVisible());
    QVERIFY(!OurStreamPlays());
    QTest::qWait(kAfterStopMs);

    const std::vector<LoudStretch> heard = StopRecording();
    QCOMPARE(heard.size(), std::size_t{1});
    QVERIFY(std::abs(heard[0].frequency - 300) < 15);
    QVERIFY2(QuietTail(heard) > kQuietTailSeconds, qPrintable(QString::number(QuietTail(heard))));
}

QTEST_MAIN(AuditionTest)
#include "audition_test.moc"
