// Start-up and shutdown of the windowed program: the platform check, the options through a
// temporary settings file, the command-line file and its long-path rule.
#include "app/app_session.h"
#include "app/long_path_rule.h"
#include "engine/converter_engine.h"
#include "platform/display_name.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"
#include "ui/control_ids.h"
#include "ui/main_dialog.h"
#include "ui_test_helpers.h"

#include <QAction>
#include <QSettings>
#include <QtTest>

namespace cantrix::test {
namespace {

const PlatformVersion kCurrent{platform_ids::kPosix, 6, 1};

// A session on a fake codec and a settings file in a temporary folder.
struct Rig {
    Rig() : settings(QString::fromStdString(dir.File("Quillonics/cantrix.conf")), QSettings::IniFormat)
    {
        FakeDriverConfig config;
        config.formats = {Layer3Format(3000, 2)};
        codecs.Install(std::make_unique<FakeCodecDriver>(config));
        engine = std::make_unique<ConverterEngine>(codecs, &presenter);
    }

    // Runs the session; `inWindow` runs on the main window once it is up, then the window closes.
    int Run(const PlatformVersion& version, const std::vector<std::string>& arguments,
            const std::function<void(MainDialog&)>& inWindow = {})
    {
        // The main window is no modal dialog: it is found among the program's windows.
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<MainDialog*>(window);
                if (dialog == nullptr || !dialog->isVisible())
                    continue;
                poll.stop();
                ++windows;
                if (inWindow)
                    inWindow(*dialog);
                dialog->close();
                return;
            }
        });
        poll.start();
        AppSession session(*engine, presenter, settings);
        return session.Run(version, arguments);
    }

    QVariant Stored(const char* name)
    {
        settings.sync();
        return settings.value(QStringLiteral("Settings/") + QString::fromUtf8(name));
    }

    TempDir dir;
    CodecManager codecs;
    RecordingPresenter presenter;
    std::unique_ptr<ConverterEngine> engine;
    QSettings settings;
    int windows = 0;
};

QAction* Menu(MainDialog& dialog, int id)
{
    return dialog.findChild<QAction*>(QString::number(id));
}

} // namespace

class AppSessionTest : public QObject {
    Q_OBJECT

private slots:
    void anOldPlatformIsRefusedBeforeAnythingElse()
    {
        Rig rig;
        QVERIFY(rig.Run({platform_ids::kWin32Nt, 3, 51}, {"cantrix"}) != 0);
        QCOMPARE(rig.presenter.Messages(), std::vector<std::uint32_t>{strings::kPlatformTooOld});
        QCOMPARE(rig.windows, 0);
        QVERIFY(!QFile::exists(rig.settings.fileName()));
    }

    void otherPlatformsStart_data()
    {
        QTest::addColumn<quint32>("platform");
        QTest::addColumn<quint32>("major");
        QTest::newRow("1, 4") << 1u << 4u;
        QTest::newRow("2, 4") << platform_ids::kWin32Nt << 4u;
        QTest::newRow("2, 5") << platform_ids::kWin32Nt << 5u;
        const PlatformVersion here = QueryPlatformVersion();
        QTest::newRow("this system") << here.platformId << here.majorVersion;
    }

    void otherPlatformsStart()
    {
        QFETCH(quint32, platform);
        QFETCH(quint32, major);
        Rig rig;
        QCOMPARE(rig.Run({platform, major, 0}, {"cantrix"}), 0);
        QCOMPARE(rig.windows, 1);
        QVERIFY(rig.presenter.Messages().empty());
    }

    void aFirstStartUsesAndStoresTheDefaults()
    {
        Rig rig;
        bool riff = false;
        bool beep = false;
        std::string pending = "unset";
        rig.Run(kCurrent, {"cantrix"}, [&](MainDialog& dialog) {
            riff = Menu(dialog, ids::kMenuWriteRiff)->isChecked();
            beep = Menu(dialog, ids::kMenuBeep)->isChecked();
            pending = dialog.GetPendingInput();
        });
        QVERIFY(riff);
        QVERIFY(beep);
        QVERIFY(pending.empty());
        QCOMPARE(rig.Stored("Write WAVs").toInt(), 1);
        QCOMPARE(rig.Stored("Ring The Bell").toInt(), 1);
        QVERIFY(!rig.Stored("Conversion Dir").isValid());
    }

    void storedOptionsRoundTrip()
    {
        Rig rig;
        rig.settings.setValue(QStringLiteral("Settings/Write WAVs"), 7);
        rig.settings.setValue(QStringLiteral("Settings/Ring The Bell"), 0);
        rig.settings.setValue(QStringLiteral("Settings/Conversion Dir"), QStringLiteral("/music/Layer 3"));
        bool riff = false;
        bool beep = true;
        rig.Run(kCurrent, {"cantrix"}, [&](MainDialog& dialog) {
            riff = Menu(dialog, ids::kMenuWriteRiff)->isChecked();
            beep = Menu(dialog, ids::kMenuBeep)->isChecked();
            Menu(dialog, ids::kMenuBeep)->trigger();
        });
        QVERIFY(riff);
        QVERIFY(!beep);
        // Untouched values are written back as they were held, the toggled one as its new state.
        QCOMPARE(rig.Stored("Write WAVs").toInt(), 7);
        QCOMPARE(rig.Stored("Ring The Bell").toInt(), 1);
        QCOMPARE(rig.Stored("Conversion Dir").toString(), QStringLiteral("/music/Layer 3"));

        rig.settings.setValue(QStringLiteral("Settings/Write WAVs"), 0);
        rig.Run(kCurrent, {"cantrix"}, [&](MainDialog& dialog) {
            riff = Menu(dialog, ids::kMenuWriteRiff)->isChecked();
            Menu(dialog, ids::kMenuWriteRiff)->trigger();
        });
        QVERIFY(!riff);
        QCOMPARE(rig.Stored("Write WAVs").toInt(), 1);
    }

    void theFirstArgumentBecomesThePendingInput()
    {
        Rig rig;
        const std::string input = rig.dir.File("My Song.wav");
        WriteFile(input, PcmWav(2, 44100, 16, Bytes(4096, 0x11)));
        std::string pending;
        rig.Run(kCurrent, {"cantrix", input, rig.dir.File("second.wav")}, [&](MainDialog& dialog) {
            pending = dialog.GetPendingInput();
            QTRY_COMPARE(rig.engine->GetInputPath(), input);
        });
        QCOMPARE(pending, input);
    }

    void longPathRuleKeepsWhatTheFileSystemNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("song.wav");
        QTest::newRow("blanks and capitals") << QStringLiteral("My Song.WAV");
        QTest::newRow("two dots") << QStringLiteral("take.2.wav");
        QTest::newRow("no extension") << QStringLiteral("song");
        QTest::newRow("trailing dot") << QStringLiteral("song.");
        QTest::newRow("dot file") << QStringLiteral(".wav");
        QTest::newRow("dotted folder") << QStringLiteral("a.b/song");
        QTest::newRow("non-ASCII") << QStringLiteral("Lied \u00FCber \u6B4C.wav");
    }

    void longPathRuleKeepsWhatTheFileSystemNames()
    {
        QFETCH(QString, name);
        TempDir dir;
        const std::string path = dir.File(QFile::encodeName(name).toStdString());
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteFile(path, Bytes{1});
        QCOMPARE(LongPathFromArgument(path), path);
        // A relative argument stays relative.
        QVERIFY(QDir::setCurrent(QString::fromStdString(dir.Path().string())));
        const std::string relative = QFile::encodeName(name).toStdString();
        QCOMPARE(LongPathFromArgument(relative), relative);
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
    }

    void displayNames()
    {
        TempDir dir;
        const std::string path = dir.File("My Song.WAV");
        WriteFile(path, Bytes{1});
        QCOMPARE(GetDisplayName(path), std::optional<std::string>("My Song"));
        QCOMPARE(GetDisplayName(dir.File("missing.wav")), std::optional<std::string>());
        // A missing file passes unchanged.
        QCOMPARE(LongPathFromArgument(dir.File("missing.wav")), dir.File("missing.wav"));
    }
};

} // namespace cantrix::test

QTEST_MAIN(cantrix::test::AppSessionTest)
#include "app_session_test.moc"
