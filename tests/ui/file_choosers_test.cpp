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

QString ToQt(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// A main window on a fake codec with an input loaded, remembering folders in `settings`.
struct Rig {
    explicit Rig(QSettings& settings)
    {
        FakeDriverConfig config;
        config.formats = {Layer3Format(3000, 2)};
        codecs.Install(std::make_unique<FakeCodecDriver>(config));
        engine = std::make_unique<ConverterEngine>(codecs, &presenter);
        dialog = std::make_unique<MainDialog>(*engine, conversionDir, presenter);
        dialog->SetChooserSettings(&settings);
        dialog->show();
        const std::string input = dir.File("song.wav");
        WriteFile(input, PcmWav(2, 44100, 16, Bytes(4096, 0x11)));
        dialog->LoadInput(input);
    }

    // Opens chooser `command` and runs `drive` on it.
    void Open(int command, const std::function<void(QFileDialog&)>& drive)
    {
        ModalWatcher watcher([&](QWidget* modal) {
            auto* chooser = qobject_cast<QFileDialog*>(modal);
            QVERIFY(chooser != nullptr);
            drive(*chooser);
            if (chooser->isVisible())
                chooser->reject();
        });
        if (command == ids::kSetOutput)
            dialog->findChild<QPushButton*>(QString::number(command))->click();
        else
            dialog->findChild<QAction*>(QString::number(command))->trigger();
        QCOMPARE(watcher.Seen().size(), std::size_t{1});
    }

    TempDir dir;
    CodecManager codecs;
    RecordingPresenter presenter;
    std::unique_ptr<ConverterEngine> engine;
    std::string conversionDir;
    std::unique_ptr<MainDialog> dialog;
};

// Checks that every column of the folder shown is in sight and shows its texts whole.
void ExpectWholeColumns(QFileDialog& chooser, int entries)
{
    auto* model = chooser.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
    auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
    QTRY_COMPARE(model->rowCount(view->rootIndex()), entries);
    QHeaderView* header = view->header();
    // The columns grow, and the dialog with them, once the folder has been read.
    QTRY_VERIFY2(header->length() <= view->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(header->length()).arg(view->viewport()->width())));
    const QAbstractItemView* rows = view;
    for (int row = 0; row < entries; ++row) {
        for (int column = 1; column < header->count(); ++column) {
            const QModelIndex index = model->index(row, column, view->rootIndex());
            QVERIFY2(rows->sizeHintForIndex(index).width() <= header->sectionSize(column),
                     qPrintable(index.data().toString()));
        }
    }
    // Room for a name of some twenty characters, at least.
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
        QSettings settings(ToQt(store.Path() / "cantrix.conf"), QSettings::IniFormat);
        // A folder whose size, type and date texts are long: a file just below 1 GiB, a text
        // file, a long name.
        TempDir used;
        const QString folder = ToQt(used.Path());
        WriteFile(used.File("An hour-long recording of the concert.wav"),
                  PcmWav(2, 44100, 16, Bytes(400, 1)));
        WriteFile(used.File("big.wav"), PcmWav(2, 44100, 16, Bytes(400, 1)));
        std::filesystem::resize_file(used.Path() / "big.wav", (1u << 30) - 1);
        WriteFile(used.File("notes.txt"), Bytes{'n', 'o', 't', 'e', 's'});

        QString firstFolder;
        {
            Rig rig(settings);
            rig.Open(command, [&](QFileDialog& chooser) {
                firstFolder = chooser.directory().absolutePath();
                chooser.setDirectory(folder);
                // The input chooser lists the WAV files only, the folder chooser everything.
                ExpectWholeColumns(chooser, command == ids::kMenuConversionDir ? 3 : 2);
                if (auto* folderChooser = qobject_cast<FolderChooser*>(&chooser)) {
                    folderChooser->ChooseButton()->click();
                    return;
                }
                // Typed, as the name field has the focus (selectFile leaves a focused field alone).
                chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(command == ids::kSetOutput ? "out.wav" : "big.wav");
                static_cast<QDialog&>(chooser).accept(); // QFileDialog::accept is protected
            });
            QVERIFY(firstFolder != folder);
            // Another chooser has its own memory.
            const int other = command == ids::kSetOutput ? ids::kMenuSelectInput : ids::kSetOutput;
            rig.Open(other, [&](QFileDialog& chooser) {
                QCOMPARE(chooser.directory().absolutePath(), firstFolder);
            });
        }
        // The next run opens there, and the options' own group holds nothing of it.
        Rig next(settings);
        next.Open(command,
                  [&](QFileDialog& chooser) { QCOMPARE(chooser.directory().absolutePath(), folder); });
        QVERIFY(!settings.childGroups().contains(QStringLiteral("Settings")));
        QCOMPARE(settings.childGroups(), QStringList{QStringLiteral("Last Folders")});
    }
};

} // namespace cantrix::test

QTEST_MAIN(cantrix::test::FileChoosersTest)
#include "file_choosers_test.moc"
