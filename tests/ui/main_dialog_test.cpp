// The main window on fake codecs, without conversion runs: states, presets, drops, options,
// About boxes and help.
#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"
#include "ui/control_ids.h"
#include "ui/folder_chooser.h"
#include "ui/main_dialog.h"
#include "ui/path_label.h"
#include "ui_test_helpers.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QtTest>

Q_DECLARE_METATYPE(std::vector<cantrix::test::FakeFormat>)

namespace cantrix::test {
namespace {

const QString kCaption = QStringLiteral("Quillonics MPEG Layer-3 Cantrix");

// A main window on its own codec manager, engine and recording presenter.
struct Rig {
    explicit Rig(const std::vector<FakeDriverConfig>& drivers)
    {
        for (const FakeDriverConfig& config : drivers)
            codecs.Install(std::make_unique<FakeCodecDriver>(config));
        engine = std::make_unique<ConverterEngine>(codecs, &presenter);
        dialog = std::make_unique<MainDialog>(*engine, conversionDir, presenter);
    }

    template <typename T> T* Find(int id) const { return dialog->findChild<T*>(QString::number(id)); }
    QAction* Menu(int id) const { return dialog->findChild<QAction*>(QString::number(id)); }
    QString Text(int id) const
    {
        if (auto* path = Find<PathLabel>(id))
            return path->Text();
        return Find<QLabel>(id)->text();
    }
    QRadioButton* Radio(int id) const { return Find<QRadioButton>(id); }
    QComboBox* List() const { return Find<QComboBox>(ids::kFormatList); }

    std::string Wav(const std::string& name, std::uint16_t channels, std::uint32_t rate) const
    {
        const std::string path = dir.File(name);
        WriteFile(path, PcmWav(channels, rate, 16, Bytes(8192, 0x11)));
        return path;
    }

    TempDir dir;
    CodecManager codecs;
    RecordingPresenter presenter;
    std::unique_ptr<ConverterEngine> engine;
    std::string conversionDir;
    std::unique_ptr<MainDialog> dialog;
};

FakeDriverConfig Codec(std::vector<FakeFormat> formats, std::uint16_t productId = 13)
{
    FakeDriverConfig config;
    config.productId = productId;
    config.formats = std::move(formats);
    return config;
}

FakeDriverConfig StandardCodec()
{
    return Codec(
        {Layer3Format(1000, 1), Layer3Format(3000, 2), Layer3Format(12000, 2), Layer3Format(16000, 2)});
}

QString FromPath(const std::string& path)
{
    return QString::fromStdString(path);
}

// Drags `urls` onto the window and drops them, as a file manager would.
void Drop(MainDialog& dialog, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &drop);
    QVERIFY(drop.isAccepted());
}

// The program's help windows; they have no owner, so that no dialog in front blocks them.
QList<QWidget*> HelpWindows()
{
    QList<QWidget*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QStringLiteral("helpWindow"))
            found.append(window);
    return found;
}

// Writes a help page long enough to scroll and makes it the window's help file.
void SetLongHelpPage(Rig& rig)
{
    QString page = QStringLiteral("<html><head><title>Manual</title></head><body>");
    for (int i = 0; i < 400; ++i)
        page += QStringLiteral("<p>line %1</p>").arg(i);
    const std::string file = rig.dir.File("help.html");
    const QByteArray utf8 = page.toUtf8();
    WriteFile(file, Bytes(utf8.begin(), utf8.end()));
    rig.dialog->SetHelpFile(FromPath(file));
}

enum class Row { NoInput, InputLoaded };

// Checks the enabled states and texts of one row of the window's state table.
void ExpectRow(const Rig& rig, Row row)
{
    const bool loaded = row == Row::InputLoaded;
    QVERIFY(rig.Find<QPushButton>(ids::kSelectInput)->isEnabled());
    QVERIFY(rig.Menu(ids::kMenuSelectInput)->isEnabled());
    QCOMPARE(rig.Find<QPushButton>(ids::kSetOutput)->isEnabled(), loaded);
    QCOMPARE(rig.Find<QPushButton>(ids::kPreview)->isEnabled(), loaded);
    QCOMPARE(rig.Find<QPushButton>(ids::kEncode)->isEnabled(), loaded);
    QCOMPARE(rig.Find<QPushButton>(ids::kEncode)->text(), QStringLiteral("Encode"));
    QCOMPARE(rig.List()->isEnabled(), loaded);
    if (!loaded)
        QCOMPARE(rig.List()->count(), 0);
    for (const int id : {ids::kPresetLowest, ids::kPresetModem, ids::kPresetList})
        QVERIFY(rig.Radio(id)->isEnabled());
    for (const int id : {ids::kMenuWriteRiff, ids::kMenuBeep, ids::kMenuConversionDir, ids::kMenuExit,
                         ids::kMenuHelpContents, ids::kMenuHelpOnHelp, ids::kMenuAbout, ids::kMenuCodecAbout})
        QVERIFY(rig.Menu(id)->isEnabled());
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initialStateIsNoInput()
    {
        Rig rig({StandardCodec()});
        rig.engine->SetWriteRiff(0);
        rig.dialog->SetBeepWhenDone(7);
        rig.dialog->show();

        ExpectRow(rig, Row::NoInput);
        QCOMPARE(rig.dialog->windowTitle(), kCaption + QStringLiteral(" (Summit)"));
        QCOMPARE(rig.Text(ids::kInputPath), QStringLiteral("No file selected yet."));
        for (const int id : {ids::kInputFormat, ids::kOutputFormat, ids::kOutputPath})
            QCOMPARE(rig.Text(id), QStringLiteral("-"));
        QVERIFY(rig.Radio(ids::kPresetModem)->isChecked());
        QVERIFY(rig.Radio(ids::kPresetIsdn)->isEnabled());
        QVERIFY(!rig.Menu(ids::kMenuWriteRiff)->isChecked());
        QVERIFY(rig.Menu(ids::kMenuBeep)->isChecked());
        QCOMPARE(rig.dialog->focusWidget(), rig.Find<QPushButton>(ids::kSelectInput));
        QVERIFY(rig.presenter.Messages().empty());
        QVERIFY(rig.dialog->windowIcon().availableSizes().contains(QSize(128, 128)));
    }

    void controlsKeepTheirTextsUnclippedAndApart()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        const QList<QWidget*> controls =
            rig.dialog->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^10\\d\\d$")));
        QCOMPARE(controls.size(), 16);
        for (QWidget* control : controls) {
            const QRect face = control->parentWidget()->rect();
            QVERIFY2(face.contains(control->geometry()), qPrintable(control->objectName()));
            if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                const int needed = qobject_cast<QRadioButton*>(control) != nullptr
                                       ? button->sizeHint().width()
                                       : button->fontMetrics().horizontalAdvance(button->text());
                QVERIFY2(needed <= button->width(), qPrintable(button->text()));
            }
            if (auto* label = qobject_cast<QLabel*>(control))
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         qPrintable(label->text()));
            for (QWidget* other : controls) {
                if (other != control)
                    QVERIFY2(!control->geometry().intersects(other->geometry()),
                             qPrintable(control->objectName() + " " + other->objectName()));
            }
        }
    }

    void helpMenuSitsAtTheBarsRightEndWithinReachOfTheArrowKeys()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        QCOMPARE(rig.dialog->findChildren<QMenuBar*>().size(), 1);
        QMenuBar* bar = rig.dialog->findChild<QMenuBar*>();
        QList<QAction*> menus;
        for (QAction* action : bar->actions())
            if (action->menu() != nullptr)
                menus.append(action);
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[2]->text(), QStringLiteral("&Help"));
        const QRect options = bar->actionGeometry(menus[1]);
        const QRect help = bar->actionGeometry(menus[2]);
        QVERIFY(bar->actionGeometry(menus[0]).left() < options.left());
        QVERIFY(bar->width() - help.right() < help.width());
        QVERIFY(help.left() - options.right() > 2 * help.width());

        // Right goes from menu to menu and round; Left goes back round.
        bar->setActiveAction(menus[0]);
        for (const int next : {1, 2, 0}) {
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
            QCOMPARE(bar->activeAction(), menus[next]);
        }
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Left);
        QCOMPARE(bar->activeAction(), menus[2]);
        QApplication::activePopupWidget()->close();
    }

    void formatListOpensOnABoundedPopupOfWholeEntries()
    {
        // More entries than any screen holds rows, each longer than the closed box is wide.
        std::vector<FakeFormat> formats;
        for (int i = 0; i < 200; ++i) {
            FakeFormat format = Layer3Format(static_cast<std::uint32_t>(1000 + i), 2);
            format.description = std::to_string(8 + i) + " kBit/s, 44100 Hz, Stereo, long name";
            formats.push_back(format);
        }
        Rig rig({Codec(formats)});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        QComboBox* list = rig.List();
        const int closedWidth = list->width();
        QCOMPARE(list->toolTip(), list->currentText());
        list->setCurrentIndex(7);
        QCOMPARE(list->toolTip(), list->itemText(7));

        list->showPopup();
        QAbstractItemView* view = list->view();
        QWidget* popup = view->window();
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        const int rowHeight = view->visualRect(list->model()->index(0, 0)).height();
        const int rows = view->viewport()->height() / rowHeight;
        QVERIFY2(rows >= 4 && rows <= 12, qPrintable(QString::number(rows)));
        QVERIFY(popup->height() < list->screen()->availableGeometry().height() / 2);
        for (const int row : {0, 7, 199}) {
            const QString text = list->itemText(row);
            QVERIFY2(view->fontMetrics().horizontalAdvance(text) < view->viewport()->width(),
                     qPrintable(text));
        }
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        list->hidePopup();
        QCOMPARE(list->width(), closedWidth);
    }

    void presetsBeforeInputShowNoFormat()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        for (const int id : {ids::kPresetLowest, ids::kPresetIsdn, ids::kPresetList, ids::kPresetModem}) {
            rig.Radio(id)->click();
            QVERIFY(rig.Radio(id)->isChecked());
            QCOMPARE(rig.Text(ids::kOutputFormat), QStringLiteral("-"));
            ExpectRow(rig, Row::NoInput);
        }
    }

    void loadingAnInputFillsTheWindow()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        const std::string input = rig.Wav("song.wav", 2, 44100);
        rig.dialog->LoadInput(input);

        ExpectRow(rig, Row::InputLoaded);
        QCOMPARE(rig.Text(ids::kInputFormat), QStringLiteral("44100Hz Stereo PCM"));
        QCOMPARE(rig.Text(ids::kInputPath), FromPath(input));
        QCOMPARE(rig.Text(ids::kOutputPath), FromPath(rig.dir.File("song Layer-3.wav")));
        QCOMPARE(rig.engine->GetOutputPath(), rig.dir.File("song Layer-3.wav"));
        QCOMPARE(rig.List()->count(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(rig.List()->itemText(i), QString::fromStdString(rig.engine->GetFormatName(i)));
        // The checked modem preset was applied: 3000 B/s stereo.
        QCOMPARE(rig.dialog->GetSelectedFormat(), 1);
        QCOMPARE(rig.List()->currentIndex(), 1);
        QCOMPARE(rig.Text(ids::kOutputFormat), QStringLiteral("3000 B/s Stereo"));

        rig.dialog->LoadInput(rig.Wav("voice.wav", 1, 22050));
        QCOMPARE(rig.Text(ids::kInputFormat), QStringLiteral("22050Hz Mono PCM"));
    }

    void presetsPickByTheirRules_data()
    {
        QTest::addColumn<std::vector<FakeFormat>>("catalogue");
        QTest::addColumn<int>("radio");
        QTest::addColumn<int>("expected");

        const std::vector<FakeFormat> thresholds = {Layer3Format(2000, 1), Layer3Format(3000, 1),
                                                    Layer3Format(3500, 2), Layer3Format(14000, 2),
                                                    Layer3Format(16000, 2)};
        const std::vector<FakeFormat> tie = {Layer3Format(3000, 1), Layer3Format(3000, 2)};
        const std::vector<FakeFormat> aboveModem = {Layer3Format(8000, 1), Layer3Format(4000, 1),
                                                    Layer3Format(4000, 2), Layer3Format(20000, 2)};
        const std::vector<FakeFormat> aboveIsdn = {Layer3Format(20000, 1), Layer3Format(16000, 1),
                                                   Layer3Format(16000, 2)};
        const std::vector<FakeFormat> one = {Layer3Format(16000, 2)};
        struct Case {
            const char* name;
            std::vector<FakeFormat> catalogue;
            int lowest, modem, isdn;
        };
        const Case cases[] = {
            {"empty", {}, 0, 0, 0},
            {"one entry", one, 0, 0, 0},
            {"3000 and 14000 exactly", thresholds, 0, 1, 3},
            {"mono and stereo at 3000", tie, 0, 1, 0},
            {"all above 3000", aboveModem, 1, 2, 0},
            {"all above 14000", aboveIsdn, 1, 2, 1},
        };
        for (const Case& c : cases) {
            QTest::addRow("%s, lowest", c.name) << c.catalogue << ids::kPresetLowest << c.lowest;
            QTest::addRow("%s, modem", c.name) << c.catalogue << ids::kPresetModem << c.modem;
            QTest::addRow("%s, isdn", c.name) << c.catalogue << ids::kPresetIsdn << c.isdn;
        }
    }

    void presetsPickByTheirRules()
    {
        QFETCH(std::vector<FakeFormat>, catalogue);
        QFETCH(int, radio);
        QFETCH(int, expected);
        Rig rig({Codec(catalogue)});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        QCOMPARE(rig.List()->count(), static_cast<int>(catalogue.size()));

        rig.Radio(radio)->click();
        QVERIFY(rig.Radio(radio)->isChecked());
        QCOMPARE(rig.dialog->GetSelectedFormat(), expected);
        const bool exists = expected < static_cast<int>(catalogue.size());
        QCOMPARE(rig.List()->currentIndex(), exists ? expected : -1);
        QCOMPARE(rig.Text(ids::kOutputFormat),
                 exists ? QString::fromStdString(catalogue[expected].description) : QStringLiteral("-"));
    }

    void emptyCatalogueRefusesToEncode()
    {
        Rig rig({Codec({})});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        ExpectRow(rig, Row::InputLoaded);
        rig.Find<QPushButton>(ids::kEncode)->click();
        QVERIFY(!rig.dialog->IsBusy());
        QCOMPARE(rig.presenter.Messages(), std::vector<std::uint32_t>{strings::kRateNotSupported});
        QVERIFY(!QFile::exists(FromPath(rig.engine->GetOutputPath())));
    }

    void listSelectionChecksTheListPreset()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        QComboBox* list = rig.List();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down); // the user moves from entry 1 to entry 2
        QVERIFY(rig.Radio(ids::kPresetList)->isChecked());
        QCOMPARE(rig.dialog->GetSelectedFormat(), 2);
        QCOMPARE(rig.Text(ids::kOutputFormat), list->itemText(2));

        // A new input refills the list; the list preset then takes its first entry.
        rig.dialog->LoadInput(rig.Wav("other.wav", 2, 44100));
        QVERIFY(rig.Radio(ids::kPresetList)->isChecked());
        QCOMPARE(rig.dialog->GetSelectedFormat(), 0);
        QCOMPARE(rig.Text(ids::kOutputFormat), list->itemText(0));
    }

    void aNewInputGetsTheCheckedPresetOfItsOwnCatalogue()
    {
        // A second, foreign driver offers other formats for 22050 Hz inputs only.
        FakeDriverConfig at44 = Codec({Layer3Format(4000, 2), Layer3Format(2000, 2), Layer3Format(16000, 2)});
        at44.onlySampleRate = 44100;
        FakeDriverConfig at22 = Codec({Layer3Format(1500, 1), Layer3Format(1000, 1), Layer3Format(500, 1)});
        at22.manufacturerId = 1;
        at22.onlySampleRate = 22050;
        Rig rig({at44, at22});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("a.wav", 2, 44100));
        rig.Radio(ids::kPresetLowest)->click();
        QCOMPARE(rig.Text(ids::kOutputFormat), QStringLiteral("2000 B/s Stereo"));
        rig.dialog->LoadInput(rig.Wav("b.wav", 1, 22050));
        QVERIFY(rig.Radio(ids::kPresetLowest)->isChecked());
        QCOMPARE(rig.dialog->GetSelectedFormat(), 2);
        QCOMPARE(rig.Text(ids::kOutputFormat), QStringLiteral("500 B/s Mono"));
    }

    void codecEditionsShapeTheWindow_data()
    {
        QTest::addColumn<int>("manufacturer");
        QTest::addColumn<int>("product");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isdn");
        QTest::newRow("no codec (-1)") << 1 << 13 << QString() << false;
        QTest::newRow("edition 0") << 172 << 10 << QStringLiteral("Pebble") << false;
        QTest::newRow("edition 1") << 172 << 11 << QStringLiteral("Meadow") << false;
        QTest::newRow("edition 3") << 172 << 13 << QStringLiteral("Summit") << true;
        QTest::newRow("edition 4") << 172 << 14 << QString() << true;
    }

    void codecEditionsShapeTheWindow()
    {
        QFETCH(int, manufacturer);
        QFETCH(int, product);
        QFETCH(QString, name);
        QFETCH(bool, isdn);
        FakeDriverConfig config = StandardCodec();
        config.manufacturerId = static_cast<std::uint16_t>(manufacturer);
        config.productId = static_cast<std::uint16_t>(product);
        Rig rig({config});
        rig.dialog->show();

        const bool missing = manufacturer != 172;
        QCOMPARE(rig.presenter.Messages(),
                 missing ? std::vector<std::uint32_t>{strings::kCodecMissing} : std::vector<std::uint32_t>{});
        QCOMPARE(rig.dialog->windowTitle(), kCaption + QStringLiteral(" (") + name + QStringLiteral(")"));
        QCOMPARE(rig.Radio(ids::kPresetIsdn)->isEnabled(), isdn);
        // It stays so for inputs whose catalogue has ISDN rates.
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        QCOMPARE(rig.List()->count(), 4);
        QCOMPARE(rig.Radio(ids::kPresetIsdn)->isEnabled(), isdn);
    }

    void droppedFilesLoadInTurn()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        const std::string first = rig.Wav("first.wav", 2, 44100);
        const std::string bad = rig.dir.File("bad.wav");
        WriteFile(bad, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e', ' ', 'f', 'i', 'l', 'e'});
        const std::string third = rig.Wav("third.wav", 1, 22050);
        Drop(*rig.dialog,
             {QUrl::fromLocalFile(FromPath(first)), QUrl(QStringLiteral("https://example.org/x.wav")),
              QUrl::fromLocalFile(FromPath(bad)), QUrl::fromLocalFile(FromPath(third))});

        QCOMPARE(rig.presenter.Messages(), std::vector<std::uint32_t>{strings::kInputCorrupted});
        QCOMPARE(rig.Text(ids::kInputPath), FromPath(third));
        QCOMPARE(rig.Text(ids::kInputFormat), QStringLiteral("22050Hz Mono PCM"));
        QCOMPARE(rig.engine->GetInputPath(), third);
        ExpectRow(rig, Row::InputLoaded);
    }

    void aFailedLoadKeepsTheWindowButDropsTheInput()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        const std::string good = rig.Wav("good.wav", 2, 44100);
        rig.dialog->LoadInput(good);
        rig.dialog->LoadInput(rig.dir.File("missing.wav"));

        QCOMPARE(rig.presenter.Messages(), std::vector<std::uint32_t>{strings::kInputCannotOpen});
        QCOMPARE(rig.Text(ids::kInputPath), FromPath(good));
        ExpectRow(rig, Row::InputLoaded);
        // The engine has no input now: Encode does nothing and says nothing.
        rig.Find<QPushButton>(ids::kEncode)->click();
        QVERIFY(!rig.dialog->IsBusy());
        QCOMPARE(rig.presenter.Messages().size(), std::size_t{1});
    }

    void containerOptionSwapsTheExtension()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        QAction* riff = rig.Menu(ids::kMenuWriteRiff);
        QVERIFY(riff->isChecked());
        riff->trigger();
        QVERIFY(!riff->isChecked());
        QCOMPARE(rig.engine->GetWriteRiff(), 0);
        QCOMPARE(rig.Text(ids::kOutputPath), QStringLiteral("-"));
        QVERIFY(rig.engine->GetOutputPath().empty());

        riff->trigger();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        riff->trigger();
        QCOMPARE(rig.Text(ids::kOutputPath), FromPath(rig.dir.File("song Layer-3.mp3")));
        QCOMPARE(rig.engine->GetOutputPath(), rig.dir.File("song Layer-3.mp3"));
        riff->trigger();
        QCOMPARE(rig.Text(ids::kOutputPath), FromPath(rig.dir.File("song Layer-3.wav")));
    }

    void beepOptionKeepsAStoredValueUntilToggled()
    {
        Rig rig({StandardCodec()});
        rig.dialog->SetBeepWhenDone(7);
        rig.dialog->show();
        QCOMPARE(rig.dialog->GetBeepWhenDone(), 7);
        rig.Menu(ids::kMenuBeep)->trigger();
        QVERIFY(!rig.Menu(ids::kMenuBeep)->isChecked());
        QCOMPARE(rig.dialog->GetBeepWhenDone(), 0);
        rig.Menu(ids::kMenuBeep)->trigger();
        QVERIFY(rig.Menu(ids::kMenuBeep)->isChecked());
        QCOMPARE(rig.dialog->GetBeepWhenDone(), 1);
    }

    void setOutputTakesTheSaveDialogsChoice()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        rig.Menu(ids::kMenuWriteRiff)->trigger(); // raw output: ".mp3"
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        const QString chosen = FromPath(rig.dir.File("chosen"));
        QStringList filters;
        QString suffix;
        {
            ModalWatcher watcher([&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                QVERIFY(dialog != nullptr);
                filters = dialog->nameFilters();
                suffix = dialog->defaultSuffix();
                dialog->selectFile(chosen);
                static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
            });
            rig.Find<QPushButton>(ids::kSetOutput)->click();
        }
        QCOMPARE(suffix, QStringLiteral("mp3"));
        QCOMPARE(filters,
                 (QStringList{QStringLiteral("Layer-3 Files (*.mp3)"), QStringLiteral("All Files (*.*)")}));
        QCOMPARE(rig.Text(ids::kOutputPath), chosen + QStringLiteral(".mp3"));
        QCOMPARE(rig.engine->GetOutputPath(), (chosen + QStringLiteral(".mp3")).toStdString());

        {
            ModalWatcher cancel;
            rig.Find<QPushButton>(ids::kSetOutput)->click();
            QCOMPARE(cancel.Seen().size(), std::size_t{1});
        }
        QCOMPARE(rig.Text(ids::kOutputPath), chosen + QStringLiteral(".mp3"));
    }

    void conversionDirectoryMovesTheOutput()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        const QString before = rig.Text(ids::kOutputPath);
        {
            ModalWatcher cancel;
            rig.Menu(ids::kMenuConversionDir)->trigger();
            QCOMPARE(cancel.Seen().size(), std::size_t{1});
        }
        QCOMPARE(rig.Text(ids::kOutputPath), before);
        QVERIFY(rig.conversionDir.empty());

        TempDir target;
        const QString folder = QString::fromStdString(target.Path().string());
        {
            ModalWatcher choose([&](QWidget* modal) {
                auto* chooser = qobject_cast<FolderChooser*>(modal);
                QVERIFY(chooser != nullptr);
                chooser->setDirectory(folder);
                chooser->ChooseButton()->click();
            });
            rig.Menu(ids::kMenuConversionDir)->trigger();
        }
        QCOMPARE(FromPath(rig.conversionDir), folder);
        // The name is kept, " Layer-3" included; a new load derives it afresh.
        QCOMPARE(rig.Text(ids::kOutputPath), folder + QStringLiteral("/song Layer-3.wav"));
        rig.dialog->LoadInput(rig.engine->GetInputPath());
        QCOMPARE(rig.Text(ids::kOutputPath), folder + QStringLiteral("/song.wav"));
    }

    void bothAboutEntriesShowTheSameBox()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        auto* entry = rig.dialog->findChild<QAction*>(QString::number(ids::kSystemAbout));
        QVERIFY(entry != nullptr);
        QCOMPARE(entry->text(), QString::fromStdString(LoadString(strings::kAboutMenuEntry)));
        ModalWatcher watcher;
        entry->trigger();
        rig.Menu(ids::kMenuAbout)->trigger();
        QCOMPARE(watcher.Seen().size(), std::size_t{2});
        for (const SeenModal& seen : watcher.Seen()) {
            QCOMPARE(seen.className, QStringLiteral("cantrix::AboutDialog"));
            QCOMPARE(seen.title, QStringLiteral("About MPEG Layer-3 Cantrix"));
        }
    }

    void codecAboutGoesThroughTheDriver()
    {
        FakeDriverConfig config = StandardCodec();
        const auto log = config.log;
        Rig rig({config});
        rig.dialog->show();
        ModalWatcher watcher;
        rig.Menu(ids::kMenuCodecAbout)->trigger();
        QCOMPARE(log->aboutCalls.load(), 1);
        QCOMPARE(watcher.Seen().size(), std::size_t{1});
        QCOMPARE(watcher.Seen()[0].title, QStringLiteral("Fake"));
        QCOMPARE(watcher.Seen()[0].text, QStringLiteral("Fake codec"));
        QVERIFY(rig.presenter.Sounds().empty());
    }

    void codecAboutWithoutCodecBeeps()
    {
        FakeDriverConfig foreign = StandardCodec();
        foreign.manufacturerId = 1;
        const auto log = foreign.log;
        Rig rig({foreign});
        rig.dialog->show();
        ModalWatcher watcher;
        rig.Menu(ids::kMenuCodecAbout)->trigger();
        QCOMPARE(rig.presenter.Sounds(), std::vector<EventSound>{EventSound::Bell});
        QCOMPARE(log->aboutCalls.load(), 0);
        QVERIFY(watcher.Seen().empty());
    }

    void helpOpensTheContentsOrSaysItFailed()
    {
        Rig rig({StandardCodec()});
        rig.dialog->show();
        rig.dialog->SetHelpFile(FromPath(rig.dir.File("missing.html")));
        {
            ModalWatcher watcher;
            rig.Menu(ids::kMenuHelpContents)->trigger();
            rig.Menu(ids::kMenuHelpOnHelp)->trigger();
            QCOMPARE(watcher.Seen().size(), std::size_t{2});
            for (const SeenModal& seen : watcher.Seen()) {
                QCOMPARE(seen.text, QStringLiteral("Failed to launch help."));
                QCOMPARE(seen.title, QApplication::applicationName());
            }
        }

        SetLongHelpPage(rig);
        rig.Menu(ids::kMenuHelpContents)->trigger();
        QCOMPARE(HelpWindows().size(), 1);
        QWidget* window = HelpWindows().constFirst();
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Manual"));
        auto* browser = window->findChild<QTextBrowser*>();
        QVERIFY(browser->toPlainText().contains(QStringLiteral("line 399")));

        // Every request lands on the top of the page: help on help and F1 alike.
        for (const auto& request :
             std::vector<std::function<void()>>{[&] { rig.Menu(ids::kMenuHelpOnHelp)->trigger(); },
                                                [&] {
                                                    rig.dialog->activateWindow();
                                                    QVERIFY(QTest::qWaitForWindowActive(rig.dialog.get()));
                                                    QTest::keyClick(rig.dialog.get(), Qt::Key_F1);
                                                }}) {
            window->hide();
            browser->verticalScrollBar()->setValue(browser->verticalScrollBar()->maximum());
            QVERIFY(browser->verticalScrollBar()->value() > 0);
            request();
            QVERIFY(window->isVisible());
            QCOMPARE(browser->verticalScrollBar()->value(), 0);
        }
        QCOMPARE(HelpWindows().size(), 1);
        rig.dialog.reset();
        QVERIFY(HelpWindows().isEmpty());
    }

    void helpKeyWorksInEveryDialogAndLeavesHelpUsable_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("About box") << ids::kMenuAbout;
        QTest::newRow("input chooser") << ids::kMenuSelectInput;
        QTest::newRow("conversion directory chooser") << ids::kMenuConversionDir;
        QTest::newRow("Set Output") << ids::kSetOutput;
    }

    void helpKeyWorksInEveryDialogAndLeavesHelpUsable()
    {
        QFETCH(int, command);
        Rig rig({StandardCodec()});
        rig.dialog->show();
        rig.dialog->LoadInput(rig.Wav("song.wav", 2, 44100));
        SetLongHelpPage(rig);
        int scrolledTo = -1;
        {
            ModalWatcher watcher([&](QWidget* modal) {
                QTest::keyClick(modal, Qt::Key_F1);
                QCOMPARE(HelpWindows().size(), 1);
                QWidget* help = HelpWindows().constFirst();
                QVERIFY(help->isVisible());
                auto* browser = help->findChild<QTextBrowser*>();
                QCOMPARE(browser->verticalScrollBar()->value(), 0);
                // Delivered as the window system delivers it, so a window blocked by the dialog
                // would never see it.
                QVERIFY(QTest::qWaitForWindowActive(help));
                QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
                scrolledTo = browser->verticalScrollBar()->value();
                qobject_cast<QDialog*>(modal)->reject();
            });
            if (command == ids::kSetOutput)
                rig.Find<QPushButton>(ids::kSetOutput)->click();
            else
                rig.Menu(command)->trigger();
            QCOMPARE(watcher.Seen().size(), std::size_t{1});
        }
        QVERIFY(scrolledTo > 0);
    }

    void pendingInputReplacesTheChooser()
    {
        Rig rig({StandardCodec()});
        const std::string input = rig.Wav("song.wav", 2, 44100);
        rig.dialog->SetPendingInput(input);
        ModalWatcher watcher;
        rig.dialog->show();
        QTRY_COMPARE(rig.Text(ids::kInputPath), FromPath(input));

        rig.dialog->LoadInput(rig.Wav("other.wav", 1, 22050));
        rig.Find<QPushButton>(ids::kSelectInput)->click();
        QCOMPARE(rig.Text(ids::kInputPath), FromPath(input));
        rig.Menu(ids::kMenuSelectInput)->trigger();
        QCOMPARE(rig.Text(ids::kInputPath), FromPath(input));
        QVERIFY(watcher.Seen().empty());
    }
};

} // namespace cantrix::test

QTEST_MAIN(cantrix::test::MainDialogTest)
#include "main_dialog_test.moc"
