// The input chooser driven as a person would: typing names, clicking files, entering folders,
// switching the file type, PLAY and STOP, Open and Cancel. The readout must follow the named file
// without ever blocking the window; the audition must send its strings in order, fail silently
// and never outlive the chooser.
#include "platform/media_control.h"
#include "support/wav_builder.h"
#include "ui/audition_icon.h"
#include "ui/format_readout.h"
#include "ui/input_file_chooser.h"
#include "ui_test_helpers.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
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
#include <set>
#include <string>
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

// Types `name` into the name field as a person would, with the focus there: the dialog then lets
// go of the file selected in its list.
void TypeName(const QFileDialog& dialog, const QString& name)
{
    QLineEdit* edit = NameEdit(dialog);
    edit->setFocus(Qt::OtherFocusReason);
    QVERIFY(edit->hasFocus());
    edit->setText(name);
}

QPushButton* AuditionButton(const InputFileChooser& chooser, int id)
{
    return chooser.AuditionArea()->findChild<QPushButton*>(QString::number(id));
}

void ClickPlay(const InputFileChooser& chooser)
{
    QTest::mouseClick(AuditionButton(chooser, 1008), Qt::LeftButton);
}

void ClickStop(const InputFileChooser& chooser)
{
    QTest::mouseClick(AuditionButton(chooser, 1011), Qt::LeftButton);
}

using Commands = std::vector<std::string>;

// Stands between the chooser and a real media control: keeps the strings the chooser sends and
// the answers they got, and lets the test look at the device the chooser left behind.
struct MediaLog {
    MediaCommandSink Sink()
    {
        return [this](std::string_view command) {
            commands.emplace_back(command);
            results.push_back(control.SendString(command));
            return results.back();
        };
    }
    // True while a device is open under the chooser's alias.
    bool DeviceOpen()
    {
        return control.SendString("seek to start tonelPrev") != MciResult::InvalidDeviceName;
    }
    void Clear()
    {
        commands.clear();
        results.clear();
    }

    MediaControl control;
    Commands commands;
    std::vector<MciResult> results;
};

const Commands kStopCommands = {"stop tonelPrev", "close tonelPrev"};

Commands PlayCommands(const QString& path)
{
    return {"stop tonelPrev", "close tonelPrev",
            "open \"" + QFile::encodeName(path).toStdString() + "\" alias tonelPrev",
            "seek to start tonelPrev", "play tonelPrev"};
}

void WhenChooserShows(std::function<void(InputFileChooser&)> drive)
{
    WhenModalShows<InputFileChooser>(std::move(drive));
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
    void auditionButtonsCarryTheirIcons();
    void auditionIconsAsDescribed();
    void playAndStopSendTheirStrings();
    void unplayableFilePlaysNothingSilently_data();
    void unplayableFilePlaysNothingSilently();
    void closingEndsTheAudition_data();
    void closingEndsTheAudition();

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
    const Bytes pcm(kSubFormatPcm.begin(), kSubFormatPcm.end());
    WriteFile(root / "extensible.wav",
              Wav(PcmFormat(2, 96000, 24, kWaveFormatExtensible, Extension(22, 24, pcm)), Samples(600)));
    WriteFile(root / "noext", PcmWav(2, 44100, 16, Samples(400)));
    const Bytes ieeeFloat(kSubFormatIeeeFloat.begin(), kSubFormatIeeeFloat.end());
    WriteFile(
        root / "float.wav",
        Wav(PcmFormat(2, 48000, 32, kWaveFormatExtensible, Extension(22, 32, ieeeFloat)), Samples(800)));
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
    QTest::newRow("four channels: more than the codec takes") << "quad.wav" << kUnsupported;
    QTest::newRow("any character in the name") << "Grüße ♪ 'live'.wav"
                                               << "22050 Hz Stereo";
    QTest::newRow("huge data chunk") << "big.wav" << kMono;
    QTest::newRow("default suffix added") << "stereo" << kStereo;
    QTest::newRow("extensible PCM") << "extensible.wav"
                                    << "96000 Hz Stereo";
    QTest::newRow("float named") << "float.wav"
                                 << "48000 Hz Stereo 32-bit float";
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
    QCOMPARE(RunInputChooser(nullptr, FolderMemory()), folder + "/" + name);
}

void InputChooserTest::cancelReturnsNothing()
{
    WhenChooserShows([&](InputFileChooser& chooser) {
        chooser.setDirectory(folder);
        NameEdit(chooser)->setText("stereo.wav");
        DialogButton(chooser, QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(RunInputChooser(nullptr, FolderMemory()), QString());
}

void InputChooserTest::auditionButtonsCarryTheirIcons()
{
    MediaLog log;
    InputFileChooser chooser(nullptr, log.Sink());
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    struct Expected {
        int id;
        const char* name;
        AuditionIcon icon;
    };
    for (const Expected& expected :
         {Expected{1008, "PLAY", AuditionIcon::Play}, Expected{1011, "STOP", AuditionIcon::Stop}}) {
        const QPushButton* button = AuditionButton(chooser, expected.id);
        QVERIFY(button != nullptr);
        QVERIFY(button->isVisible() && button->isEnabled());
        QCOMPARE(button->property("controlId").toInt(), expected.id);
        // The icon replaces the text, which stays readable to screen readers.
        QVERIFY(button->text().isEmpty());
        QCOMPARE(button->accessibleName(), QLatin1String(expected.name));
        QVERIFY(!button->autoDefault());
        QCOMPARE(button->iconSize(), QSize(kAuditionIconSize, kAuditionIconSize));
        QCOMPARE(button->icon().pixmap(kAuditionIconSize).toImage().convertToFormat(QImage::Format_ARGB32),
                 AuditionIconImage(expected.icon).convertToFormat(QImage::Format_ARGB32));
    }
    // PLAY, then STOP, at the right end of the panel, after the readout.
    const QWidget* play = AuditionButton(chooser, 1008);
    const QWidget* stop = AuditionButton(chooser, 1011);
    const auto* readout = chooser.findChild<QLabel*>(QStringLiteral("1013"));
    QVERIFY(play->mapTo(&chooser, QPoint()).x() > readout->mapTo(&chooser, QPoint(readout->width(), 0)).x());
    QVERIFY(stop->mapTo(&chooser, QPoint()).x() > play->mapTo(&chooser, QPoint(play->width(), 0)).x());
    // Showing the chooser plays nothing.
    QVERIFY(log.commands.empty());
}

void InputChooserTest::auditionIconsAsDescribed()
{
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    for (const AuditionIcon which : {AuditionIcon::Play, AuditionIcon::Stop}) {
        const QImage icon = AuditionIconImage(which).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(32, 32));
        std::set<QRgb> colours;
        std::vector<int> rightEnd(32, -1); // the last drawn column of each row
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb pixel = icon.pixel(x, y);
                colours.insert(pixel);
                if (qAlpha(pixel) != 0)
                    rightEnd[y] = x;
                // The drawing is mirrored top to bottom around the middle of the icon.
                QCOMPARE(pixel, icon.pixel(x, 31 - y));
            }
        QVERIFY(colours.size() <= 16);
        // Only the middle twelve rows are drawn, and every one of them is.
        for (int y = 0; y < 32; ++y)
            QCOMPARE(rightEnd[y] >= 0, y >= 10 && y < 22);
        // A thin black line on the left, through every drawn row.
        for (int y = 10; y < 22; ++y)
            QCOMPARE(icon.pixel(8, y), black);
        if (which == AuditionIcon::Play) {
            // A grey triangle pointing right: its tip in the middle rows, its right end receding
            // row by row towards the top.
            for (int y = 11; y < 16; ++y)
                QVERIFY(rightEnd[y] > rightEnd[y - 1]);
            const QRgb inside = icon.pixel(rightEnd[15] - 3, 15);
            QVERIFY(inside != black && qRed(inside) == qGreen(inside) && qGreen(inside) == qBlue(inside));
            QCOMPARE(icon.pixel(rightEnd[15], 15), black);
            QVERIFY(colours.count(white) == 0);
        } else {
            // A white square with a black outline between two lines: mirrored left to right too.
            for (int y = 10; y < 22; ++y)
                for (int x = 0; x < 32; ++x)
                    QCOMPARE(icon.pixel(x, y), icon.pixel(31 - x, y));
            QCOMPARE(icon.pixel(15, 15), white);
            QCOMPARE(icon.pixel(15, 10), black);
        }
    }
}

void InputChooserTest::playAndStopSendTheirStrings()
{
    ModalWatcher watcher;
    MediaLog log;
    InputFileChooser chooser(nullptr, log.Sink());
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    // Nothing named: PLAY does nothing at all.
    ClickPlay(chooser);
    QVERIFY(log.commands.empty());

    // Quotes, blanks and non-ASCII letters go between the quotes as they are, and media control
    // reads the same path back.
    const QString quoted = folder + QStringLiteral("/Grüße ♪ \"live\".wav");
    ClickFile(chooser, quoted);
    ClickPlay(chooser);
    QCOMPARE(log.commands, PlayCommands(quoted));
    QCOMPARE(log.results[2], MciResult::NoError);
    QVERIFY(log.DeviceOpen());

    // PLAY again starts over: the same strings, the earlier device closed first.
    log.Clear();
    ClickPlay(chooser);
    QCOMPARE(log.commands, PlayCommands(quoted));
    QCOMPARE(log.results[1], MciResult::NoError);

    // Naming another file leaves the audition alone, and so does PLAY with an emptied name field.
    log.Clear();
    ClickFile(chooser, folder + "/stereo.wav");
    QTRY_COMPARE(chooser.ReadoutText(), kStereo);
    NameEdit(chooser)->clear();
    ClickPlay(chooser);
    QVERIFY(log.commands.empty());
    QVERIFY(log.DeviceOpen());

    ClickStop(chooser);
    QCOMPARE(log.commands, kStopCommands);
    QVERIFY(!log.DeviceOpen());
    // STOP with nothing open is harmless.
    log.Clear();
    ClickStop(chooser);
    QCOMPARE(log.commands, kStopCommands);
    QVERIFY(chooser.isVisible());
    QVERIFY(watcher.Seen().empty());
}

void InputChooserTest::unplayableFilePlaysNothingSilently_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("not a sound file") << "text.wav";
    QTest::newRow("missing") << "missing.wav";
    QTest::newRow("folder") << "folder.wav";
    QTest::newRow("FIFO without a writer") << "fifo.wav";
}

void InputChooserTest::unplayableFilePlaysNothingSilently()
{
    QFETCH(QString, name);
    ModalWatcher watcher;
    MediaLog log;
    InputFileChooser chooser(nullptr, log.Sink());
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    TypeName(chooser, "stereo.wav");
    ClickPlay(chooser);
    QVERIFY(log.DeviceOpen());

    log.Clear();
    TypeName(chooser, name);
    ClickPlay(chooser);
    QCOMPARE(log.commands, PlayCommands(folder + "/" + name));
    QVERIFY(log.results[2] != MciResult::NoError);
    // The earlier audition was closed before the failed open, so nothing is left to play.
    QVERIFY(!log.DeviceOpen());
    QCoreApplication::processEvents();
    QVERIFY(watcher.Seen().empty());
    QVERIFY(chooser.isVisible());
}

void InputChooserTest::closingEndsTheAudition_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Open") << "Open";
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("close box") << "close box";
    QTest::newRow("destroyed while shown") << "destroyed";
}

void InputChooserTest::closingEndsTheAudition()
{
    QFETCH(QString, how);
    MediaLog log;
    auto chooser = std::make_unique<InputFileChooser>(nullptr, log.Sink());
    chooser->setDirectory(folder);
    chooser->show();
    QVERIFY(QTest::qWaitForWindowExposed(chooser.get()));
    ClickFile(*chooser, folder + "/stereo.wav");
    ClickPlay(*chooser);
    QVERIFY(log.DeviceOpen());

    log.Clear();
    if (how == "Open") {
        DialogButton(*chooser, QDialogButtonBox::Open)->click();
        QCOMPARE(chooser->result(), int(QDialog::Accepted));
        QCOMPARE(chooser->selectedFiles(), QStringList(folder + "/stereo.wav"));
    } else if (how == "Cancel") {
        DialogButton(*chooser, QDialogButtonBox::Cancel)->click();
        QCOMPARE(chooser->result(), int(QDialog::Rejected));
    } else if (how == "Escape") {
        NameEdit(*chooser)->setFocus();
        QTest::keyClick(NameEdit(*chooser), Qt::Key_Escape);
        QCOMPARE(chooser->result(), int(QDialog::Rejected));
    } else if (how == "close box") {
        QVERIFY(chooser->close());
    } else {
        chooser.reset();
    }
    QVERIFY(chooser == nullptr || !chooser->isVisible());
    QCOMPARE(log.commands, kStopCommands);
    QVERIFY(!log.DeviceOpen());
}

QTEST_MAIN(InputChooserTest)
#include "input_chooser_test.moc"
