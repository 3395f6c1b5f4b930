// Media control into a real sound server: files of every kind the chooser may name play through
// the null sink of pulse_session.sh; stop silences, play resumes, and the chooser's sequence
// (stop, close, open, seek to start, play) starts over.
#include "platform/media_control.h"
#include "sound_check.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <thread>

namespace cantrix {
namespace {

using namespace std::chrono_literals;
using test::LoudStretch;
using test::OurStreamPlays;

constexpr double kAmplitude = 0.5;
constexpr auto kRecordingTail = 400ms;
constexpr auto kPlaybackLimit = 30s;

bool WaitForStream(bool playing)
{
    const auto deadline = std::chrono::steady_clock::now() + kPlaybackLimit;
    while (OurStreamPlays() != playing) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class MediaControlSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::NullSinkAvailable())
            GTEST_SKIP() << "no private sound server; run through tests/sound/pulse_session.sh";
        setenv("PULSE_SINK", "nullsink", 1);
        ASSERT_TRUE(recording.Start());
    }

    std::vector<LoudStretch> StopRecording()
    {
        std::this_thread::sleep_for(kRecordingTail);
        recording.Stop();
        return test::FindLoudStretches(recordingPath);
    }

    std::string OpenCommand(const std::string& path) { return "open \"" + path + "\" alias tonelPrev"; }

    test::ScratchDir scratch;
    std::string recordingPath = scratch.File("recording.wav");
    test::Recording recording{recordingPath};
};

struct FileKind {
    const char* name;
    int format; // 0: a Layer-3 stream made by lame
};

class MediaControlFileKinds : public MediaControlSound, public ::testing::WithParamInterface<FileKind> {};

TEST_P(MediaControlFileKinds, PlaysTheFileToItsEndAndReleasesTheDevice)
{
    const FileKind& kind = GetParam();
    // A name the chooser may well hand over: blanks, quotes, the word alias, non-ASCII letters.
    const std::string path = scratch.File(std::string("Ton \"für\" alias Übung.") + kind.name);
    const std::vector<std::int16_t> tone = test::Tone(700, 1.0, 44100, 2, kAmplitude);
    if (kind.format == 0) {
        const std::string wav = scratch.File("source.wav");
        ASSERT_TRUE(test::WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tone));
        ASSERT_TRUE(test::EncodeWithLame(wav, path, 128));
    } else {
        ASSERT_TRUE(test::WriteSoundFile(path, kind.format, 44100, 2, tone));
    }

    MediaControl media;
    ASSERT_EQ(media.SendString(OpenCommand(path)), MciResult::NoError);
    ASSERT_EQ(media.SendString("seek to start tonelPrev"), MciResult::NoError);
    ASSERT_EQ(media.SendString("play tonelPrev"), MciResult::NoError);
    ASSERT_TRUE(WaitForStream(true));
    // At the end of the file the device lets its sound stream go but stays open.
    ASSERT_TRUE(WaitForStream(false));
    EXPECT_EQ(media.SendString("stop tonelPrev"), MciResult::NoError);
    EXPECT_EQ(media.SendString("close tonelPrev"), MciResult::NoError);

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].seconds, 1.0, 0.3);
    EXPECT_NEAR(heard[0].frequency, 700, 35);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MediaControlFileKinds,
                         ::testing::Values(FileKind{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                           FileKind{"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                           FileKind{"wav", SF_FORMAT_WAV | SF_FORMAT_ULAW},
                                           FileKind{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                                           FileKind{"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                           FileKind{"mp3", 0}));

TEST_F(MediaControlSound, StopSilencesAtOncePlayResumesAndSeekStartsOver)
{
    // Half a second at 500 Hz, then 1000 Hz to the end: the pitch tells where playback started.
    std::vector<std::int16_t> samples = test::Tone(500, 0.5, 44100, 2, kAmplitude);
    const std::vector<std::int16_t> rest = test::Tone(1000, 29.5, 44100, 2, kAmplitude);
    samples.insert(samples.end(), rest.begin(), rest.end());
    const std::string path = scratch.File("two tones.wav");
    ASSERT_TRUE(test::WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, samples));

    MediaControl media;
    ASSERT_EQ(media.SendString(OpenCommand(path)), MciResult::NoError);
    ASSERT_EQ(media.SendString("play tonelPrev"), MciResult::NoError);
    ASSERT_TRUE(WaitForStream(true));
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(media.SendString("stop tonelPrev"), MciResult::NoError);
    EXPECT_FALSE(OurStreamPlays());
    std::this_thread::sleep_for(300ms);

    // Play again goes on from where it stopped: past the first tone.
    ASSERT_EQ(media.SendString("play tonelPrev"), MciResult::NoError);
    std::this_thread::sleep_for(600ms);
    ASSERT_EQ(media.SendString("stop tonelPrev"), MciResult::NoError);
    std::this_thread::sleep_for(300ms);

    // The chooser's PLAY starts the file over.
    for (const std::string& command :
         {std::string("stop tonelPrev"), std::string("close tonelPrev"), OpenCommand(path),
          std::string("seek to start tonelPrev"), std::string("play tonelPrev")})
        ASSERT_EQ(media.SendString(command), MciResult::NoError) << command;
    std::this_thread::sleep_for(400ms);
    ASSERT_EQ(media.SendString("stop tonelPrev"), MciResult::NoError);
    std::this_thread::sleep_for(300ms);

    // So does a seek on the open device; closing it ends the sound.
    ASSERT_EQ(media.SendString("seek to start tonelPrev"), MciResult::NoError);
    ASSERT_EQ(media.SendString("play tonelPrev"), MciResult::NoError);
    std::this_thread::sleep_for(400ms);
    ASSERT_EQ(media.SendString("close tonelPrev"), MciResult::NoError);
    EXPECT_FALSE(OurStreamPlays());

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 4u);
    // Each stop cut the 30-second file short.
    EXPECT_LT(test::TotalLoudSeconds(heard), 10.0);
    EXPECT_NEAR(heard[1].frequency, 1000, 50);
    EXPECT_NEAR(heard[2].frequency, 500, 25);
    EXPECT_NEAR(heard[3].frequency, 500, 25);
}

} // namespace
} // namespace cantrix
