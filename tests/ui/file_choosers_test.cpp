// The three file choosers as the main window opens them: at a size that shows every column of the
// detail view whole, and in the folder each was last used in, also in the next run.
#include "engine/converter_engine.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"
#include "ui/control_ids.h"
#include "ui/folder_chooser.h"
#include "ui/main_dialog.h"
#include "ui_test_helpers.h"

#include <QAction>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeView>
#include <QtTest>
#include <filesystem>

namespace cantrix::test {
namespace {

// A main window on a fake codec with an input loaded, remembering folders in `settings`; opens
// chooser `command` and runs `drive` on it.
void InWindow(QSettings& settings, int command, const std::function<void(QFileDialog&)>& drive)
{
    FakeDriverConfig config;
    config.formats = {Layer3Format(3000, 2)};
    CodecManager codecs;
    codecs.Install(std::make_unique<FakeCodecDriver>(config));
    RecordingPresenter presenter;
    ConverterEngine engine(codecs, &presenter);
    std::string conversionDir;
    MainDialog dialog(engine, conversionDir, presenter);
    dialog.SetChooserSettings(&settings);
    dialog.show();
    TempDir dir;
    WriteFile(dir.File("song.wav"), PcmWav(2, 44100, 16, Bytes(4096, 0x11)));
    dialog.LoadInput(dir.File("song.wav"));
    ModalWatcher watcher([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        QVERIFY(chooser != nullptr);
        drive(*chooser);
        if (chooser->isVisible())
            chooser->reject();
    });
    if (command == ids::kSetOutput)
        dialog.findChild<QPushButton*>(QString::number(command))->click();
    else
        dialog.findChild<QAction*>(QString::number(command))->trigger();
    QCOMPARE(watcher.Seen().size(), std::size_t{1});
}

// Checks that every column of the folder shown is in sight and shows its texts whole.
void ExpectWholeColumns(QFileDialog& chooser, int entries)
{
    auto* model = chooser.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
    QTRY_COMPARE(model->rowCount(view->rootIndex()), entries);
    // The columns grow, and the dialog with them, once the folder has been read.
    QHeaderView* header = view->header();
    QTRY_VERIFY(header->length() <= view->viewport()->width());
    const QAbstractItemView* rows = view;
    for (int row = 0; row < entries; ++row) {
        for (int column = 1; column < header->count(); ++column) {
            const QModelIndex index = model->index(row, column, view->rootIndex());
            QVERIFY2(rows->sizeHintForIndex(index).width() <= header->sectionSize(column),
                     qPrintable(index.data().toString()));
        }
    }
    QVERIFY(header->sectionSize(0) > view->fontMetrics().horizontalAdvance(QStringLiteral("x")) * 20);
    QVERIFY(chooser.width() <= chooser.screen()->availableGeometry().width());
}

} // namespace

class FileChoosersTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Qt's file dialog keeps a history of its own in the user's settings; keep the tests out.
        QStandardPaths::setTestModeEnabled(true);
    }

    void openComfortablyWhereLastUsed_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("input chooser") << ids::kMenuSelectInput;
        QTest::newRow("conversion directory chooser") << ids::kMenuConversionDir;
        QTest::newRow("Set Output") << ids::kSetOutput;
    }

    void openComfortablyWhereLastUsed()
    {
        QFETCH(int, command);
        TempDir store;
        QSettings settings(QString::fromStdString(store.File("cantrix.conf")), QSettings::IniFormat);
        // Long size, type and date texts: a file just below 1 GiB, a text file, a long name.
        TempDir used;
        const QString folder = QString::fromStdString(used.Path().string());
        WriteFile(used.File("An hour-long recording of the concert.wav"),
                  PcmWav(2, 44100, 16, Bytes(400, 1)));
        WriteFile(used.File("big.wav"), PcmWav(2, 44100, 16, Bytes(400, 1)));
        std::filesystem::resize_file(used.Path() / "big.wav", (1u << 30) - 1);
        WriteFile(used.File("notes.txt"), Bytes{'n', 'o', 't', 'e', 's'});

        const QString working = QDir::currentPath();
        InWindow(settings, command, [&](QFileDialog& chooser) {
            QCOMPARE(chooser.directory().absolutePath(), working);
            chooser.setDirectory(folder);
            // The folder chooser lists every file, the others the WAV files only.
            ExpectWholeColumns(chooser, command == ids::kMenuConversionDir ? 3 : 2);
            if (auto* folderChooser = qobject_cast<FolderChooser*>(&chooser))
                return folderChooser->ChooseButton()->click();
            // Typed, as the name field has the focus (selectFile leaves a focused field alone).
            chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(command == ids::kSetOutput ? "out.wav" : "big.wav");
            static_cast<QDialog&>(chooser).accept(); // QFileDialog::accept is protected
        });
        // Another chooser keeps its own memory; the next run opens this one where it was used.
        const int other = command == ids::kSetOutput ? ids::kMenuSelectInput : ids::kSetOutput;
        InWindow(settings, other,
                 [&](QFileDialog& chooser) { QCOMPARE(chooser.directory().absolutePath(), working); });
        InWindow(settings, command,
                 [&](QFileDialog& chooser) { QCOMPARE(chooser.directory().absolutePath(), folder); });
        // The options' own group holds nothing of it.
        QCOMPARE(settings.childGroups(), QStringList{QStringLiteral("Last Folders")});
    }
};

} // namespace cantrix::test

QTEST_MAIN(cantrix::test::FileChoosersTest)
#include "file_choosers_test.moc"
