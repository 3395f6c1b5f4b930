// The conversion directory chooser: "Choose" takes the folder shown, the dialog never takes a
// file, and every other way out leaves the folder as it was.
#include "support/wav_builder.h"
#include "ui/folder_chooser.h"
#include "ui_test_helpers.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QListView>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <filesystem>
#include <functional>

using namespace cantrix;
using namespace cantrix::test;

namespace {

QString ToQt(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QModelIndex IndexOf(const QFileDialog& dialog, const QString& path)
{
    return dialog.findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"))->index(path);
}

// Double-clicks `path` in the dialog's file list.
void DoubleClick(const QFileDialog& dialog, const QString& path)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    const QModelIndex index = IndexOf(dialog, path);
    QVERIFY(index.isValid());
    view->setFocus(Qt::MouseFocusReason);
    view->selectionModel()->setCurrentIndex(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit view->activated(index);
}

// Goes to the sidebar's "Computer", which lists the file system's roots and is no folder.
void ShowComputer(const QFileDialog& dialog)
{
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    QAbstractItemModel* places = sidebar->model();
    for (int row = 0; row < places->rowCount(); ++row) {
        const QModelIndex place = places->index(row, 0);
        if (place.data(Qt::UserRole + 1).toUrl() == QUrl(QStringLiteral("file:"))) {
            // The sidebar goes where its current entry points.
            sidebar->setCurrentIndex(place);
            return;
        }
    }
    QFAIL("no Computer in the sidebar");
}

void WhenChooserShows(std::function<void(FolderChooser&)> drive)
{
    WhenModalShows<FolderChooser>(std::move(drive));
}

} // namespace

class FolderChooserTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void showsOnlyFolderControls();
    void chooseTakesFolderShown_data();
    void chooseTakesFolderShown();
    void filesAreNeverAccepted();
    void runReturnsChosenFolder();
    void cancelAndComputerLeaveFolder_data();
    void cancelAndComputerLeaveFolder();

private:
    std::unique_ptr<TempDir> dir;
    QString folder;
};

void FolderChooserTest::initTestCase()
{
    // Qt's file dialog keeps its history in the user's settings; keep the tests out of them.
    QStandardPaths::setTestModeEnabled(true);
    dir = std::make_unique<TempDir>();
    folder = ToQt(dir->Path());
    std::filesystem::create_directories(dir->Path() / "music" / "Grüße ♪");
    std::filesystem::create_directories(dir->Path() / "other");
    WriteFile(dir->Path() / "music" / "song.wav", PcmWav(2, 44100, 16, Bytes(400, 0)));
}

void FolderChooserTest::cleanupTestCase()
{
    dir.reset();
}

void FolderChooserTest::showsOnlyFolderControls()
{
    FolderChooser chooser(nullptr);
    chooser.setDirectory(folder);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    DoubleClick(chooser, folder + "/music");
    QCOMPARE(chooser.directory().path(), folder + "/music");

    for (const char* hidden : {"fileNameEdit", "fileNameLabel", "fileTypeCombo", "fileTypeLabel"})
        QVERIFY2(!chooser.findChild<QWidget*>(QLatin1String(hidden))->isVisible(), hidden);
    for (const char* shown : {"lookInCombo", "treeView", "sidebar", "toParentButton", "buttonBox"})
        QVERIFY2(chooser.findChild<QWidget*>(QLatin1String(shown))->isVisible(), shown);
    QVERIFY(chooser.ChooseButton()->isVisible());
    QCOMPARE(chooser.ChooseButton()->text(), QStringLiteral("Choose"));
    // The panel sits below the folder list.
    const QWidget* files = chooser.findChild<QWidget*>(QStringLiteral("splitter"));
    QVERIFY(chooser.findChild<QWidget*>(QStringLiteral("folderPanel"))->geometry().top() >=
            files->geometry().bottom());
}

void FolderChooserTest::chooseTakesFolderShown_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("expected");
    QTest::newRow("folder") << folder + "/music" << folder + "/music";
    QTest::newRow("trailing separator dropped") << folder + "/music/" << folder + "/music";
    QTest::newRow("any character in the name") << folder + "/music/Grüße ♪" << folder + "/music/Grüße ♪";
    QTest::newRow("root keeps its separator") << "/"
                                              << "/";
}

void FolderChooserTest::chooseTakesFolderShown()
{
    QFETCH(QString, shown);
    QFETCH(QString, expected);
    FolderChooser chooser(nullptr);
    chooser.setDirectory(shown);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));

    chooser.ChooseButton()->click();
    QCOMPARE(chooser.ChosenFolder(), expected);
    QVERIFY(!chooser.isVisible());
    QCOMPARE(chooser.result(), int(QDialog::Accepted));
}

void FolderChooserTest::filesAreNeverAccepted()
{
    FolderChooser chooser(nullptr);
    chooser.setDirectory(folder + "/music");
    chooser.open();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    QSignalSpy finished(&chooser, &QDialog::finished);
    QTRY_VERIFY(IndexOf(chooser, folder + "/music/song.wav").isValid());

    // A double click on a file, then the Open button with the file selected.
    DoubleClick(chooser, folder + "/music/song.wav");
    QVERIFY(chooser.isVisible());
    QPushButton* open =
        chooser.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Open);
    open->click();
    QVERIFY(chooser.isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(chooser.ChosenFolder().isEmpty());

    // A folder is entered instead.
    chooser.setDirectory(folder);
    QTRY_VERIFY(IndexOf(chooser, folder + "/other").isValid());
    DoubleClick(chooser, folder + "/other");
    QCOMPARE(chooser.directory().path(), folder + "/other");
    QVERIFY(chooser.isVisible());
    QCOMPARE(finished.count(), 0);
}

void FolderChooserTest::runReturnsChosenFolder()
{
    QString started;
    WhenChooserShows([&](FolderChooser& chooser) {
        started = chooser.directory().path();
        chooser.setDirectory(folder + "/other");
        chooser.ChooseButton()->click();
    });
    QString conversionDir = folder + "/music";
    QVERIFY(RunFolderChooser(nullptr, conversionDir, FolderMemory()));
    QCOMPARE(started, folder + "/music");
    QCOMPARE(conversionDir, folder + "/other");
}

void FolderChooserTest::cancelAndComputerLeaveFolder_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("Choose on Computer") << 2;
}

void FolderChooserTest::cancelAndComputerLeaveFolder()
{
    QFETCH(int, way);
    bool closed = false;
    WhenChooserShows([&](FolderChooser& chooser) {
        chooser.setDirectory(folder + "/other");
        switch (way) {
        case 0:
            chooser.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                ->button(QDialogButtonBox::Cancel)
                ->click();
            break;
        case 1:
            QTest::keyClick(&chooser, Qt::Key_Escape);
            break;
        default:
            ShowComputer(chooser);
            chooser.ChooseButton()->click();
            break;
        }
        closed = !chooser.isVisible();
    });
    const QString before = folder + "/music";
    QString conversionDir = before;
    QVERIFY(!RunFolderChooser(nullptr, conversionDir, FolderMemory()));
    QVERIFY(closed);
    QCOMPARE(conversionDir, before);
}

QTEST_MAIN(FolderChooserTest)
#include "folder_chooser_test.moc"
