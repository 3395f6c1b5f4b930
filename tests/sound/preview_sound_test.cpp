// The compression preview into a real sound server: the built-in Layer-3 codec encodes the slice
// and wave output plays it into the null sink of pulse_session.sh, recorded with parec. The
// preview dialog is stood in for by a recording view whose host runs the worker on a thread.
#include "drivers/built_in_drivers.h"
#include "engine/converter_engine.h"
#include "sound_check.h"
#include "support/recording_preview.h"
#include "support/recording_targets.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <thread>

namespace cantrix {
namespace {

using namespace std::chrono_literals;
using test::LoudStretch;

constexpr const char* kPreparing = "Status: Preparing Preview...";
constexpr const char* kPlaying = "Status: Playing...";
constexpr const char* kFormatName = "128 kBit/s, 44100 Hz, Stereo";
constexpr double kToneHz = 1000;
constexpr double kAmplitude = 0.5;
const double kToneRms = kAmplitude / std::sqrt(2.0);
constexpr auto kRecordingTail = 400ms;

class PreviewSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::NullSinkAvailable())
            GTEST_SKIP() << "no private sound server; run through tests/sound/pulse_session.sh";
        setenv("PULSE_SINK", "nullsink", 1);
        InstallBuiltInDrivers(codecs);
        engine = std::make_unique<ConverterEngine>(codecs, &presenter);
    }

    // Loads a tone of `seconds` as the input and chooses the 128 kbit/s stereo format.
    void LoadTone(double seconds)
    {
        input = scratch.File("tone.wav");
        ASSERT_TRUE(test::WriteSoundFile(input, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                         test::Tone(kToneHz, seconds, 44100, 2, kAmplitude)));
        ASSERT_TRUE(engine->AnalyzeInput(input, false));
        int chosen = -1;
        for (unsigned i = 0; i < engine->GetFormatCount(); ++i) {
            if (engine->GetFormatName(i) == kFormatName)
                chosen = static_cast<int>(i);
        }
        ASSERT_GE(chosen, 0);
        engine->SetFormatIndex(chosen);
        ASSERT_TRUE(recording.Start());
    }

    std::vector<LoudStretch> StopRecording()
    {
        std::this_thread::sleep_for(kRecordingTail);
        recording.Stop();
        return test::FindLoudStretches(recordingPath);
    }

    void ExpectFinishedCleanly()
    {
        const test::PreviewRecord seen = view.Record();
        EXPECT_EQ(seen.closes, 1);
        EXPECT_EQ(seen.callsAfterClose, 0);
        EXPECT_TRUE(presenter.Messages().empty());
        EXPECT_EQ(engine->GetInputPath(), input);
        EXPECT_FALSE(engine->IsInputOpen());
    }

    test::ScratchDir scratch;
    std::string recordingPath = scratch.File("recording.wav");
    test::Recording recording{recordingPath};
    CodecManager codecs;
    test::RecordingPresenter presenter;
    test::RecordingPreviewView view;
    test::ThreadedPreviewHost host{view};
    std::unique_ptr<ConverterEngine> engine;
    std::string input;
};

TEST_F(PreviewSound, PlaysAboutFiveSecondsOfTheToneAndClosesByItself)
{
    LoadTone(12.0);
    ASSERT_TRUE(engine->RunPreview(host));
    EXPECT_EQ(view.Record().statuses, (std::vector<std::string>{kPreparing, kPlaying}));
    ExpectFinishedCleanly();

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].seconds, 5.0, 0.5);
    EXPECT_NEAR(heard[0].frequency, kToneHz, 0.05 * kToneHz);
    EXPECT_NEAR(heard[0].rms, kToneRms, 0.15 * kToneRms);
}

TEST_F(PreviewSound, ShortInputIsPlayedWhole)
{
    LoadTone(2.0);
    ASSERT_TRUE(engine->RunPreview(host));
    ExpectFinishedCleanly();

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 1u);
    // The codec's flush brings out the end of the input.
    EXPECT_NEAR(heard[0].seconds, 2.0, 0.3);
    EXPECT_NEAR(heard[0].frequency, kToneHz, 0.05 * kToneHz);
}

TEST_F(PreviewSound, CancelWhilePreparingPlaysNothing)
{
    LoadTone(12.0);
    view.onPosition = [this](std::uint32_t position) {
        if (position == 0)
            engine->RequestCancel();
    };
    ASSERT_TRUE(engine->RunPreview(host));
    EXPECT_EQ(view.Record().statuses, std::vector<std::string>{kPreparing});
    ExpectFinishedCleanly();
    EXPECT_TRUE(StopRecording().empty());
}

TEST_F(PreviewSound, CancelWhilePlayingStopsTheSoundAtOnce)
{
    LoadTone(12.0);
    bool started = false;
    std::thread userInterface([&] { started = engine->RunPreview(host); });
    ASSERT_TRUE(view.WaitForStatus(kPlaying));
    std::this_thread::sleep_for(1s);
    engine->RequestCancel();
    userInterface.join();
    EXPECT_TRUE(started);
    ExpectFinishedCleanly();

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_GE(heard.size(), 1u);
    // About the one second before the cancel; the five-second slice was cut far short.
    EXPECT_LT(test::TotalLoudSeconds(heard), 2.5);
    EXPECT_NEAR(heard[0].frequency, kToneHz, 0.05 * kToneHz);
}

} // namespace
} // namespace cantrix
