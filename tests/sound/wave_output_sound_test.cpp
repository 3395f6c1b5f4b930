// Wave output into a real sound server: the private null sink of pulse_session.sh, recorded with
// parec. A recording can lose fragments, so lengths and levels are checked with tolerance.
#include "platform/wave_output.h"
#include "sound_check.h"
#include "support/wav_builder.h"

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

constexpr double kAmplitude = 0.5;
const double kToneRms = kAmplitude / std::sqrt(2.0);
// Generous: only a device that never ends would exceed it.
constexpr auto kPlaybackLimit = 30s;
// What the recording may still be missing when playback has been reported done.
constexpr auto kRecordingTail = 400ms;

std::vector<unsigned char> AsBytes(const std::vector<std::int16_t>& samples)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(samples.data());
    return {bytes, bytes + samples.size() * sizeof(std::int16_t)};
}

class WaveOutputSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::NullSinkAvailable())
            GTEST_SKIP() << "no private sound server; run through tests/sound/pulse_session.sh";
        // Play into the null sink even where a desktop server has another default.
        setenv("PULSE_SINK", "nullsink", 1);
        ASSERT_TRUE(recording.Start());
    }

    std::vector<LoudStretch> StopRecording()
    {
        std::this_thread::sleep_for(kRecordingTail);
        recording.Stop();
        return test::FindLoudStretches(recordingPath);
    }

    // Waits until `header` is done, as a caller of the wave output does: on the done event.
    bool WaitUntilDone(WaveOutput& output, const WAVEHDR& header)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPlaybackLimit;
        while (!output.IsDone(header)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            done.Wait(200ms);
        }
        return true;
    }

    test::ScratchDir scratch;
    std::string recordingPath = scratch.File("recording.wav");
    test::Recording recording{recordingPath};
    AutoResetEvent done;
};

TEST_F(WaveOutputSound, PcmSplitAcrossUnalignedHeadersPlaysAsOneStream)
{
    const std::vector<unsigned char> tone = AsBytes(test::Tone(1000, 1.0, 44100, 2, kAmplitude));
    // Cut at byte offsets that split frames and even samples.
    const std::size_t cuts[] = {0, 10001, 87777, tone.size()};
    WAVEHDR headers[3];
    WaveOutput output;
    ASSERT_EQ(output.Open(test::PcmRecord(2, 44100, 16), &done), mmresult::kNoError);
    for (int i = 0; i < 3; ++i) {
        headers[i].lpData = tone.data() + cuts[i];
        headers[i].dwBufferLength = static_cast<std::uint32_t>(cuts[i + 1] - cuts[i]);
        ASSERT_EQ(output.PrepareHeader(headers[i]), mmresult::kNoError);
    }
    for (WAVEHDR& header : headers)
        ASSERT_EQ(output.Write(header), mmresult::kNoError);
    // Queued headers belong to the device until they are done.
    EXPECT_EQ(output.UnprepareHeader(headers[2]), mmresult::kWaveStillPlaying);

    ASSERT_TRUE(WaitUntilDone(output, headers[2]));
    EXPECT_TRUE(output.IsDone(headers[0]));
    EXPECT_TRUE(output.IsDone(headers[1]));
    for (WAVEHDR& header : headers)
        EXPECT_EQ(output.UnprepareHeader(header), mmresult::kNoError);
    EXPECT_EQ(output.Close(), mmresult::kNoError);

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].seconds, 1.0, 0.3);
    EXPECT_NEAR(heard[0].frequency, 1000, 50);
    EXPECT_NEAR(heard[0].rms, kToneRms, 0.1 * kToneRms);
}

TEST_F(WaveOutputSound, EightBitMonoPlaysAtItsOwnRate)
{
    // Unsigned 8-bit samples: read as signed they would play as a square-ish buzz.
    const std::vector<std::int16_t> tone = test::Tone(500, 1.0, 22050, 1, kAmplitude);
    std::vector<unsigned char> bytes;
    for (std::int16_t sample : tone)
        bytes.push_back(static_cast<unsigned char>((sample >> 8) + 128));
    WAVEHDR header;
    header.lpData = bytes.data();
    header.dwBufferLength = static_cast<std::uint32_t>(bytes.size());
    WaveOutput output;
    ASSERT_EQ(output.Open(test::PcmRecord(1, 22050, 8), &done), mmresult::kNoError);
    ASSERT_EQ(output.PrepareHeader(header), mmresult::kNoError);
    ASSERT_EQ(output.Write(header), mmresult::kNoError);
    ASSERT_TRUE(WaitUntilDone(output, header));
    (void)output.Close();

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].seconds, 1.0, 0.3);
    EXPECT_NEAR(heard[0].frequency, 500, 25);
    EXPECT_NEAR(heard[0].rms, kToneRms, 0.1 * kToneRms);
}

TEST_F(WaveOutputSound, ResetSilencesAtOnceAndTheDevicePlaysOn)
{
    const std::vector<unsigned char> longTone = AsBytes(test::Tone(1000, 20.0, 44100, 2, kAmplitude));
    const std::vector<unsigned char> shortTone = AsBytes(test::Tone(1500, 1.0, 44100, 2, kAmplitude));
    WAVEHDR first;
    first.lpData = longTone.data();
    first.dwBufferLength = static_cast<std::uint32_t>(longTone.size());
    WAVEHDR second;
    second.lpData = shortTone.data();
    second.dwBufferLength = static_cast<std::uint32_t>(shortTone.size());

    WaveOutput output;
    ASSERT_EQ(output.Open(test::PcmRecord(2, 44100, 16), &done), mmresult::kNoError);
    ASSERT_EQ(output.PrepareHeader(first), mmresult::kNoError);
    ASSERT_EQ(output.Write(first), mmresult::kNoError);
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(output.IsDone(first));
    ASSERT_EQ(output.Reset(), mmresult::kNoError);
    EXPECT_TRUE(output.IsDone(first));
    // A reset returns the header without reporting it played.
    EXPECT_FALSE(done.Wait(0ms));

    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(output.PrepareHeader(second), mmresult::kNoError);
    ASSERT_EQ(output.Write(second), mmresult::kNoError);
    ASSERT_TRUE(WaitUntilDone(output, second));
    (void)output.Close();

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_GE(heard.size(), 2u);
    // The long tone stopped far short of its 20 seconds, and nothing of it followed the second.
    EXPECT_LT(test::TotalLoudSeconds(heard) - heard.back().seconds, 10.0);
    EXPECT_NEAR(heard.front().frequency, 1000, 50);
    EXPECT_NEAR(heard.back().frequency, 1500, 75);
    EXPECT_NEAR(heard.back().seconds, 1.0, 0.3);
}

TEST_F(WaveOutputSound, CloseWhilePlayingEndsSoundAndThread)
{
    const std::vector<unsigned char> tone = AsBytes(test::Tone(1000, 20.0, 44100, 2, kAmplitude));
    WAVEHDR header;
    header.lpData = tone.data();
    header.dwBufferLength = static_cast<std::uint32_t>(tone.size());
    const std::size_t threadsBefore = test::ThreadCount();
    auto output = std::make_unique<WaveOutput>();
    ASSERT_EQ(output->Open(test::PcmRecord(2, 44100, 16)), mmresult::kNoError);
    ASSERT_EQ(output->PrepareHeader(header), mmresult::kNoError);
    ASSERT_EQ(output->Write(header), mmresult::kNoError);
    std::this_thread::sleep_for(700ms);
    // Destruction closes: the data is no longer used and the playback thread has ended once it
    // returns.
    output.reset();
    EXPECT_EQ(test::ThreadCount(), threadsBefore);

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_GE(heard.size(), 1u);
    EXPECT_LT(test::TotalLoudSeconds(heard), 10.0);
}

struct Layer3Case {
    int rate;
    int channels;
    int kbps;
    double frequency;
};

class WaveOutputLayer3 : public WaveOutputSound, public ::testing::WithParamInterface<Layer3Case> {};

TEST_P(WaveOutputLayer3, DecodesWhilePlaying)
{
    const Layer3Case& c = GetParam();
    const std::string wav = scratch.File("tone.wav");
    const std::string mp3 = scratch.File("tone.mp3");
    ASSERT_TRUE(test::WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, c.rate, c.channels,
                                     test::Tone(c.frequency, 1.0, c.rate, c.channels, kAmplitude)));
    ASSERT_TRUE(test::EncodeWithLame(wav, mp3, c.kbps));
    const std::vector<unsigned char> stream = test::ReadBytes(mp3);
    ASSERT_GT(stream.size(), 1000u);

    MPEGLAYER3WAVEFORMAT format{};
    format.wfx.wFormatTag = kWaveFormatMpegLayer3;
    format.wfx.nChannels = static_cast<std::uint16_t>(c.channels);
    format.wfx.nSamplesPerSec = static_cast<std::uint32_t>(c.rate);
    format.wfx.nAvgBytesPerSec = static_cast<std::uint32_t>(c.kbps * 1000 / 8);
    format.wfx.nBlockAlign = 1;
    format.wfx.cbSize = kMpegLayer3CbSize;
    format.wID = kMpegLayer3IdMpeg;
    format.nBlockSize = static_cast<std::uint16_t>((c.rate >= 32000 ? 144 : 72) * c.kbps * 1000 / c.rate);
    format.nFramesPerBlock = 1;
    // Two headers cut in the middle of a frame: the decoder must carry the frame over.
    const std::size_t cut = stream.size() / 3 + 7;
    WAVEHDR headers[2];
    headers[0].lpData = stream.data();
    headers[0].dwBufferLength = static_cast<std::uint32_t>(cut);
    headers[1].lpData = stream.data() + cut;
    headers[1].dwBufferLength = static_cast<std::uint32_t>(stream.size() - cut);

    WaveOutput output;
    ASSERT_EQ(output.Open(reinterpret_cast<const unsigned char*>(&format), sizeof format, &done),
              mmresult::kNoError);
    for (WAVEHDR& header : headers) {
        ASSERT_EQ(output.PrepareHeader(header), mmresult::kNoError);
        ASSERT_EQ(output.Write(header), mmresult::kNoError);
    }
    ASSERT_TRUE(WaitUntilDone(output, headers[1]));
    (void)output.Close();

    const std::vector<LoudStretch> heard = StopRecording();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].seconds, 1.0, 0.3);
    EXPECT_NEAR(heard[0].frequency, c.frequency, 0.05 * c.frequency);
    EXPECT_NEAR(heard[0].rms, kToneRms, 0.1 * kToneRms);
}

INSTANTIATE_TEST_SUITE_P(MpegVersions, WaveOutputLayer3,
                         ::testing::Values(Layer3Case{44100, 2, 128, 800}, Layer3Case{22050, 1, 64, 600},
                                           Layer3Case{8000, 1, 16, 300}));

} // namespace
} // namespace cantrix
