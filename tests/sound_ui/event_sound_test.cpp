// The window's beeps heard through the null sink of tests/sound/pulse_session.sh: the end of a run
// plays the desktop's "complete" sound when "Beep When Done" is on and nothing when it is off, the
// codec's About without a codec plays "bell", and both follow the user's sound theme and
// event-sound setting. Without the private server every test skips.
#include "engine/converter_engine.h"
#include "sound/sound_check.h"
#include "support/fake_codec_driver.h"
#include "support/wav_builder.h"
#include "ui/control_ids.h"
#include "ui/main_dialog.h"
#include "ui/qt_message_presenter.h"
#include "ui/ui_test_helpers.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sndfile.h>
#include <stdlib.h>

using namespace cantrix;

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
// Long enough for the longest sound here to reach the recording.
constexpr int kListenMs = 3000;
constexpr int kRunLimitMs = 60000;
constexpr double kThemeToneSeconds = 2.0;
constexpr double kThemeToneFrequency = 1000;

void WriteText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

} // namespace

class EventSoundTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!test::NullSinkAvailable())
            QSKIP("no private sound server; run through tests/sound/pulse_session.sh");
        setenv("PULSE_SINK", "nullsink", 1);
    }

    void soundsFollowTheOptionAndTheDesktop_data()
    {
        // What is heard, in loud seconds: the freedesktop theme's "complete" lasts 1.09 s, its
        // "bell" 0.14 s, and fades shorten both; the test theme's "complete" is a 1 kHz tone.
        QTest::addColumn<bool>("codecAbout");
        QTest::addColumn<int>("beepWhenDone");
        QTest::addColumn<QString>("gtkSettings");
        QTest::addColumn<double>("fewest");
        QTest::addColumn<double>("most");
        QTest::addColumn<double>("frequency");
        const QString off = QStringLiteral("gtk-enable-event-sounds=false");
        const QString theme = QStringLiteral("gtk-sound-theme-name=cantrix-test");
        QTest::newRow("run, beep on") << false << 1 << QString() << 0.5 << 1.5 << 0.0;
        QTest::newRow("run, beep off") << false << 0 << QString() << 0.0 << 0.0 << 0.0;
        QTest::newRow("codec About without codec") << true << 1 << QString() << 0.03 << 0.4 << 0.0;
        QTest::newRow("event sounds off on the desktop") << false << 1 << off << 0.0 << 0.0 << 0.0;
        QTest::newRow("the user's sound theme") << false << 1 << theme << kThemeToneSeconds - 0.3
                                                << kThemeToneSeconds + 0.3 << kThemeToneFrequency;
    }

    void soundsFollowTheOptionAndTheDesktop()
    {
        QFETCH(bool, codecAbout);
        QFETCH(int, beepWhenDone);
        QFETCH(QString, gtkSettings);
        QFETCH(double, fewest);
        QFETCH(double, most);
        QFETCH(double, frequency);

        // A desktop of its own: GTK's settings file, and a sound theme whose "complete" is a tone.
        test::ScratchDir desktop;
        setenv("XDG_CONFIG_HOME", desktop.File("config").c_str(), 1);
        setenv("XDG_DATA_HOME", desktop.File("data").c_str(), 1);
        WriteText(desktop.File("config/gtk-3.0/settings.ini"),
                  "[Settings]\n" + gtkSettings.toStdString() + "\n");
        const std::string theme = desktop.File("data/sounds/cantrix-test");
        WriteText(theme + "/index.theme",
                  "[Sound Theme]\nName=Test\nInherits=freedesktop\nDirectories=stereo\n\n"
                  "[stereo]\nOutputProfile=stereo\n");
        std::filesystem::create_directories(theme + "/stereo");
        QVERIFY(test::WriteSoundFile(
            theme + "/stereo/complete.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, kChannels,
            test::Tone(kThemeToneFrequency, kThemeToneSeconds, kRate, kChannels, 0.5)));

        test::FakeDriverConfig codec;
        codec.formats = {test::Layer3Format(3000, 2)};
        if (codecAbout)
            codec.manufacturerId = 1; // not ours: no codec is found
        CodecManager codecs;
        codecs.Install(std::make_unique<test::FakeCodecDriver>(codec));
        QtMessagePresenter presenter;
        ConverterEngine engine(codecs, &presenter);
        std::string conversionDir;
        test::ModalWatcher watcher; // dismisses the missing-codec message
        MainDialog dialog(engine, conversionDir, presenter);
        dialog.SetBeepWhenDone(beepWhenDone);
        dialog.show();
        const std::string input = desktop.File("song.wav");
        test::WriteFile(input, test::PcmWav(2, 44100, 16, test::Bytes(8192, 0x11)));
        dialog.LoadInput(input);

        const std::string recordingPath = desktop.File("recording.wav");
        test::Recording recording(recordingPath);
        QVERIFY(recording.Start());
        if (!codecAbout) {
            dialog.findChild<QPushButton*>(QString::number(ids::kEncode))->click();
            QVERIFY(dialog.IsBusy());
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsBusy(), kRunLimitMs);
        } else {
            dialog.findChild<QAction*>(QString::number(ids::kMenuCodecAbout))->trigger();
        }
        QTest::qWait(kListenMs);
        recording.Stop();

        const std::vector<test::LoudStretch> stretches = test::FindLoudStretches(recordingPath);
        const double loud = test::TotalLoudSeconds(stretches);
        QVERIFY2(loud >= fewest && loud <= most, qPrintable(QString::number(loud)));
        if (frequency > 0)
            QVERIFY(std::abs(stretches.front().frequency - frequency) < 50);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
    }
};

QTEST_MAIN(EventSoundTest)
#include "event_sound_test.moc"
