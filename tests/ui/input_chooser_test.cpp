// The input chooser driven as a person would: typing names, clicking files, entering folders,
// switching the file type, Open and Cancel. The readout must follow the named file without ever
// blocking the window.
#include "support/wav_builder.h"
#include "ui/format_readout.h"
#include "ui/input_file_chooser.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace cantrix;
using namespace cantrix::test;

namespace {

const QString kStereo = QStringLiteral("44100 Hz Stereo");
const QString kMono = QStringLiteral("11025 Hz Mono");
const QString kUnsupported = QStringLiteral("Unsupported (need plain PCM input data)");

QString ToQt(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

Bytes Samples(std::size_t count)
{
    return Bytes(count, 0x80);
}

QLineEdit* NameEdit(const QFileDialog& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QPushButton* DialogButton(const QFileDialog& dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(which);
}

// Clicks `path` in the dialog's file list, which takes the focus as a click would (the dialog
// copies the name into its name field only while that field has no focus).
void ClickFile(const QFileDialog& dialog, const QString& path)
{
    auto* model = dialog.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    const QModelIndex index = model->index(path);
    QVERIFY(index.isValid());
    view->setFocus(Qt::MouseFocusReason);
    QVERIFY(!NameEdit(dialog)->hasFocus());
    view->selectionModel()->setCurrentIndex(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Runs `drive` on the modal input chooser once it is on the screen.
void WhenChooserShows(std::function<void(InputFileChooser&)> drive)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, drive] {
        auto* chooser = qobject_cast<InputFileChooser*>(QApplication::activeModalWidget());
        if (chooser == nullptr || !chooser->isVisible())
            return;
        poll->deleteLater();
        drive(*chooser);
    });
    poll->start(0);
}

} // namespace

class InputChooserTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void opensWithTemplateText();
    void readoutFollowsTypedName_data();
    void readoutFollowsTypedName();
    void readoutFollowsClickedFile();
    void readoutFollowsFolderChange();
    void emptyNameKeepsLastReadout();
    void allFilesListsNamesWithoutDot();
    void staleAnswerNeverOverwritesNewer();
    void openReturnsChosenPath();
    void cancelReturnsNothing();

private:
    std::unique_ptr<TempDir> dir;
    QString folder;
};

void InputChooserTest::initTestCase()
{
    // Qt's file dialog keeps its history in the user's settings; keep the tests out of them.
    QStandardPaths::setTestModeEnabled(true);
    // One probe may be held up on purpose while another must still run.
    QThreadPool::globalInstance()->setMaxThreadCount(
        std::max(4, QThreadPool::globalInstance()->maxThreadCount()));

    dir = std::make_unique<TempDir>();
    const auto& root = dir->Path();
    folder = ToQt(root);
    WriteFile(root / "stereo.wav", PcmWav(2, 44100, 16, SineSamples16(44100, 2, 0.05)));
    WriteFile(root / "mono8.wav", PcmWav(1, 11025, 8, Samples(1000)));
    WriteFile(root / "quad.wav", PcmWav(4, 48000, 16, Samples(800)));
    // Quotes can only be clicked: in the name field they enclose names.
    WriteFile(root / "Grüße ♪ \"live\".wav", PcmWav(2, 22050, 16, Samples(400)));
    WriteFile(root / "Grüße ♪ 'live'.wav", PcmWav(2, 22050, 16, Samples(400)));
    Bytes layer3 = Chunk("fmt ", PcmFormat(2, 44100, 0, 0x55, Bytes(14, 0)));
    const Bytes layer3Data = Chunk("data", Samples(418));
    layer3.insert(layer3.end(), layer3Data.begin(), layer3Data.end());
    WriteFile(root / "layer3.wav", Riff("WAVE", layer3));
    WriteFile(root / "text.wav", Bytes{'h', 'e', 'l', 'l', 'o'});
    WriteFile(root / "noext", PcmWav(2, 44100, 16, Samples(400)));
    // A gigabyte of samples (sparse, so it costs no disk).
    constexpr std::uint32_t kBigFile = 1u << 30;
    constexpr std::uint32_t kHeaderBytes = 44;
    Bytes big;
    AppendId(big, "RIFF");
    AppendU32(big, kBigFile - 8);
    AppendId(big, "WAVE");
    const Bytes format = Chunk("fmt ", PcmFormat(1, 11025, 16));
    big.insert(big.end(), format.begin(), format.end());
    AppendId(big, "data");
    AppendU32(big, kBigFile - kHeaderBytes);
    QCOMPARE(big.size(), std::size_t{kHeaderBytes});
    WriteFile(root / "big.wav", big);
    std::filesystem::resize_file(root / "big.wav", kBigFile);
    std::filesystem::create_directory(root / "folder.wav");
    QCOMPARE(::mkfifo((root / "fifo.wav").c_str(), 0600), 0);

    std::filesystem::create_directories(root / "a");
    std::filesystem::create_directories(root / "b");
    WriteFile(root / "a" / "song.wav", PcmWav(2, 44100, 16, Samples(400)));
    WriteFile(root / "b" / "song.wav", PcmWav(1, 11025, 8, Samples(400)));
}

void InputChooserTest::cleanupTestCase()
{
    // A probe stuck in opening the FIFO would keep the pool, and so the test, from ending: a
    // writer that comes and goes lets it go on.
    const int writer = ::open((dir->Path() / "fifo.wav").c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
    QThreadPool::globalInstance()->waitForDone();
    dir.reset();
}

void InputChooserTest::opensWithTemplateText()
{
    InputFileChooser chooser(nullptr);
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    QCoreApplication::processEvents();
    QCOMPARE(chooser.ReadoutText(), kUnsupported);
    QVERIFY(!chooser.Readout().IsPending());

    // The panel sits below the standard controls, across the dialog.
    auto* panel = chooser.findChild<QWidget*>(QStringLiteral("inputPanel"));
    QVERIFY(panel != nullptr && panel->isVisible());
    const QWidget* typeCombo = chooser.findChild<QWidget*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(panel->geometry().top() >= typeCombo->geometry().bottom());
    QVERIFY(chooser.AuditionArea()->isVisible());
    QCOMPARE(chooser.nameFilters(), QStringList({"Waveform Files (*.wav)", "All Files (*.*)"}));
    QCOMPARE(chooser.selectedNameFilter(), QStringLiteral("Waveform Files (*.wav)"));
}

void InputChooserTest::readoutFollowsTypedName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("16-bit stereo") << "stereo.wav" << kStereo;
    QTest::newRow("8-bit mono") << "mono8.wav" << kMono;
    QTest::newRow("four channels read as mono") << "quad.wav"
                                                << "48000 Hz Mono";
    QTest::newRow("any character in the name") << "Grüße ♪ 'live'.wav"
                                               << "22050 Hz Stereo";
    QTest::newRow("huge data chunk") << "big.wav" << kMono;
    QTest::newRow("default suffix added") << "stereo" << kStereo;
    QTest::newRow("Layer-3 inside RIFF") << "layer3.wav" << kUnsupported;
    QTest::newRow("not RIFF") << "text.wav" << kUnsupported;
    QTest::newRow("missing") << "missing.wav" << kUnsupported;
    QTest::newRow("folder") << "folder.wav" << kUnsupported;
    QTest::newRow("FIFO without a writer") << "fifo.wav" << kUnsupported;
}

void InputChooserTest::readoutFollowsTypedName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    InputFileChooser chooser(nullptr);
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    // A different text first, so the expected one can only come from this name.
    const QString before = expected == kStereo ? kMono : kStereo;
    NameEdit(chooser)->setText(before == kStereo ? "stereo.wav" : "mono8.wav");
    QTRY_COMPARE(chooser.ReadoutText(), before);

    NameEdit(chooser)->setText(name);
    QTRY_COMPARE_WITH_TIMEOUT(chooser.ReadoutText(), expected, 30000);
    QVERIFY(!chooser.Readout().IsPending());
}

void InputChooserTest::readoutFollowsClickedFile()
{
    InputFileChooser chooser(nullptr);
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    ClickFile(chooser, folder + "/stereo.wav");
    QTRY_COMPARE(chooser.ReadoutText(), kStereo);
    ClickFile(chooser, folder + "/mono8.wav");
    QTRY_COMPARE(chooser.ReadoutText(), kMono);
}

void InputChooserTest::readoutFollowsFolderChange()
{
    InputFileChooser chooser(nullptr);
    chooser.setDirectory(folder + "/a");
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    NameEdit(chooser)->setText("song.wav");
    QTRY_COMPARE(chooser.ReadoutText(), kStereo);

    // The name stays in its field when another folder is entered (a double click on it), so
    // the readout now describes the file of that name there.
    auto* model = chooser.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
    emit view->activated(model->index(folder + "/b"));
    QCOMPARE(chooser.directory().path(), folder + "/b");
    QTRY_COMPARE(chooser.ReadoutText(), kMono);
}

void InputChooserTest::emptyNameKeepsLastReadout()
{
    InputFileChooser chooser(nullptr);
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    NameEdit(chooser)->setText("stereo.wav");
    QTRY_COMPARE(chooser.ReadoutText(), kStereo);

    NameEdit(chooser)->clear();
    QCoreApplication::processEvents();
    QVERIFY(!chooser.Readout().IsPending());
    QCOMPARE(chooser.ReadoutText(), kStereo);
}

void InputChooserTest::allFilesListsNamesWithoutDot()
{
    InputFileChooser chooser(nullptr);
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    auto* model = chooser.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto listed = [&](const QString& name) {
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < model->rowCount(root); ++row)
            if (model->index(row, 0, root).data().toString() == name)
                return true;
        return false;
    };
    QTRY_VERIFY(listed("stereo.wav"));
    QVERIFY(!listed("noext"));

    auto* typeCombo = chooser.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    typeCombo->setFocus();
    QTest::keyClick(typeCombo, Qt::Key_Down);
    QCOMPARE(chooser.selectedNameFilter(), QStringLiteral("All Files (*.*)"));
    QTRY_VERIFY(listed("noext"));

    ClickFile(chooser, folder + "/noext");
    QTRY_COMPARE(chooser.ReadoutText(), kStereo);
    QCOMPARE(chooser.selectedFiles(), QStringList(folder + "/noext"));
}

void InputChooserTest::staleAnswerNeverOverwritesNewer()
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> slowStarted{false};
    // Holds every probe of "slow" until `released` is ready.
    auto probe = [&released, &slowStarted](const QString& path) {
        if (path == "slow") {
            slowStarted = true;
            released.wait();
        }
        return path + " answer";
    };

    auto readout = std::make_unique<FormatReadout>(probe, nullptr);
    QSignalSpy changes(readout.get(), &FormatReadout::TextChanged);
    readout->Request("slow");
    QTRY_VERIFY(slowStarted.load());
    readout->Request("fast");
    QTRY_COMPARE(readout->Text(), QStringLiteral("fast answer"));
    QVERIFY(!readout->IsPending());

    release.set_value();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(readout->Text(), QStringLiteral("fast answer"));
    QCOMPARE(changes.count(), 1);

    // A readout destroyed while its probe still runs: the answer goes nowhere.
    std::promise<void> releaseAgain;
    released = releaseAgain.get_future().share();
    slowStarted = false;
    readout->Request("slow");
    QTRY_VERIFY(slowStarted.load());
    readout.reset();
    releaseAgain.set_value();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

void InputChooserTest::openReturnsChosenPath()
{
    const QString name = QStringLiteral("Grüße ♪ \"live\".wav");
    WhenChooserShows([&](InputFileChooser& chooser) {
        chooser.setDirectory(folder);
        ClickFile(chooser, folder + "/" + name);
        DialogButton(chooser, QDialogButtonBox::Open)->click();
    });
    QCOMPARE(RunInputChooser(nullptr), folder + "/" + name);
}

void InputChooserTest::cancelReturnsNothing()
{
    WhenChooserShows([&](InputFileChooser& chooser) {
        chooser.setDirectory(folder);
        NameEdit(chooser)->setText("stereo.wav");
        DialogButton(chooser, QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(RunInputChooser(nullptr), QString());
}

QTEST_MAIN(InputChooserTest)
#include "input_chooser_test.moc"
