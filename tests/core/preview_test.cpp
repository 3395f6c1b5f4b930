// The compression preview's engine side, on a fake codec and without a sound server: where the
// encoding stops, what the dialog is told, cancelling, failures, and what stays valid afterwards.
#include "engine/converter_engine.h"
#include "no_sound_server.h"
#include "platform/codec_driver.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_preview.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>
#include <sys/resource.h>

namespace cantrix::test {
namespace {

constexpr const char* kPreparing = "Status: Preparing Preview...";
// 16-bit stereo at 44100 Hz.
constexpr std::uint32_t kPcmBytesPerSec = 176400;
constexpr std::uint32_t kBlock = kCallerBlockBytes;
// Five seconds of Layer-3 at 16000 bytes per second: this format's output limit ends the slice.
constexpr std::size_t kSmallFormat = 0;
// 400000 bytes per second: the fake codec (one output byte per two PCM bytes) never fills five
// seconds of it, so the PCM limit ends the slice.
constexpr std::size_t kLargeFormat = 1;

std::uint32_t CeilDiv(std::uint64_t a, std::uint64_t b)
{
    return static_cast<std::uint32_t>((a + b - 1) / b);
}

long PeakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class Preview : public NoSoundServer {
protected:
    // An engine on a fake codec with a loaded 16-bit stereo 44.1 kHz input of `dataBytes`.
    void Load(std::uint32_t dataBytes, FakeDriverConfig config = {}, std::size_t formatIndex = kLargeFormat)
    {
        if (config.formats.empty())
            config.formats = {Layer3Format(16000, 2), Layer3Format(400000, 2)};
        log = config.log;
        codecs.Install(std::make_unique<FakeCodecDriver>(config));
        engine = std::make_unique<ConverterEngine>(codecs, &presenter);
        input = dir.File("in put.wav");
        WriteFile(input, PcmWav(2, 44100, 16, Bytes(dataBytes, 0x11)));
        ASSERT_TRUE(engine->AnalyzeInput(input, false));
        engine->SetFormatIndex(static_cast<int>(formatIndex));
    }

    // Runs a preview that is expected to start; what the view saw.
    PreviewRecord Run()
    {
        EXPECT_TRUE(engine->RunPreview(host));
        return view.Record();
    }

    void ExpectInputValidAndClosed()
    {
        EXPECT_EQ(engine->GetInputPath(), input);
        EXPECT_FALSE(engine->IsInputOpen());
    }

    TempDir dir;
    CodecManager codecs;
    RecordingPresenter presenter;
    RecordingPreviewView view;
    ThreadedPreviewHost host{view};
    std::shared_ptr<FakeDriverLog> log;
    std::unique_ptr<ConverterEngine> engine;
    std::string input;
};

TEST_F(Preview, FiveSecondsOfPcmEndTheSlice)
{
    Load(1048576);
    const PreviewRecord seen = Run();
    EXPECT_EQ(seen.statuses, std::vector<std::string>{kPreparing});
    EXPECT_EQ(seen.input, input);
    EXPECT_EQ(seen.format, engine->GetFormatName(kLargeFormat));
    // min(1048576, 5 * 176400) in blocks
    EXPECT_EQ(seen.range, 430u);
    // The first block is not counted: the refills reach five seconds after this many passes, and
    // the block the last refill brought in is not converted.
    const std::uint32_t passes = CeilDiv(5 * kPcmBytesPerSec, kBlock);
    EXPECT_EQ(log->convertCalls.load(), static_cast<int>(passes));
    std::vector<std::uint32_t> positions(passes - 1);
    std::iota(positions.begin(), positions.end(), 0u);
    EXPECT_EQ(seen.positions, positions);
    EXPECT_EQ(engine->GetPreviewBytes(), passes * kBlock / 2);
    EXPECT_EQ(seen.closes, 1);
    EXPECT_EQ(seen.callsAfterClose, 0);
    EXPECT_TRUE(presenter.Messages().empty());
    EXPECT_EQ(host.Runs(), 1);
    ExpectInputValidAndClosed();
}

TEST_F(Preview, FiveSecondsOfLayer3EndTheSlice)
{
    Load(1048576, {}, kSmallFormat);
    const PreviewRecord seen = Run();
    const std::uint32_t outputLimit = 5 * 16000;
    EXPECT_EQ(engine->GetPreviewBytes(), outputLimit);
    // Each pass brings 1024 output bytes; the pass that fills the limit is the last.
    EXPECT_EQ(log->convertCalls.load(), static_cast<int>(CeilDiv(outputLimit, kBlock / 2)));
    EXPECT_EQ(seen.positions.size(), CeilDiv(outputLimit, kBlock / 2) - 1);
    EXPECT_EQ(seen.closes, 1);
    ExpectInputValidAndClosed();
}

TEST_F(Preview, ShortInputIsEncodedWholeAndFlushed)
{
    FakeDriverConfig config;
    config.flushBytes = 7;
    Load(10000, config);
    PreviewRecord seen = Run();
    EXPECT_EQ(engine->GetPreviewBytes(), 10000u / 2 + 7);
    EXPECT_EQ(seen.range, 10000u / kBlock);
    EXPECT_EQ(seen.closes, 1);
    ExpectInputValidAndClosed();

    // One sample frame: its bytes and the flush, and an empty bar. Without a sound server nothing
    // plays, and no thread is left behind (counted after the first preview, once whatever the
    // process starts on first use is running).
    const std::size_t threadsBefore = ThreadCount();
    RecordingPreviewView emptyView;
    ThreadedPreviewHost emptyHost(emptyView);
    WriteFile(input, PcmWav(2, 44100, 16, Bytes(4, 0x11)));
    ASSERT_TRUE(engine->AnalyzeInput(input, false));
    engine->SetFormatIndex(kLargeFormat);
    EXPECT_TRUE(engine->RunPreview(emptyHost));
    seen = emptyView.Record();
    EXPECT_EQ(engine->GetPreviewBytes(), 4u / 2 + 7);
    EXPECT_EQ(seen.range, 0u);
    EXPECT_EQ(seen.statuses, std::vector<std::string>{kPreparing});
    EXPECT_EQ(seen.closes, 1);
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(Preview, RefusalsShowNoDialog)
{
    // No input: nothing, not even a message.
    {
        CodecManager none;
        ConverterEngine fresh(none, &presenter);
        EXPECT_FALSE(fresh.RunPreview(host));
        EXPECT_TRUE(presenter.Messages().empty());
    }

    // The codec offers nothing for this input: 108, before the file is opened; the input stays.
    {
        FakeDriverConfig config;
        config.onlySampleRate = 8000;
        config.formats = {Layer3Format(16000, 2)};
        CodecManager manager;
        manager.Install(std::make_unique<FakeCodecDriver>(config));
        ConverterEngine empty(manager, &presenter);
        const std::string path = dir.File("44k.wav");
        WriteFile(path, PcmWav(2, 44100, 16, Bytes(5000, 0)));
        ASSERT_TRUE(empty.AnalyzeInput(path, false));
        ASSERT_EQ(empty.GetFormatCount(), 0u);
        empty.SetFormatIndex(0);
        EXPECT_FALSE(empty.RunPreview(host));
        EXPECT_EQ(presenter.Messages(), std::vector<std::uint32_t>{strings::kRateNotSupported});
        EXPECT_EQ(empty.GetInputPath(), path);
        EXPECT_FALSE(empty.IsInputOpen());
    }

    // The input has gone since it was analysed: 104, and the input is dropped.
    Load(5000);
    std::filesystem::remove(input);
    EXPECT_FALSE(engine->RunPreview(host));
    EXPECT_EQ(presenter.Messages().back(), strings::kInputCannotOpen);
    EXPECT_TRUE(engine->GetInputPath().empty());
    EXPECT_EQ(host.Runs(), 0);
}

TEST_F(Preview, CancelWhilePreparingStopsAfterThePassInProgress)
{
    Load(1048576);
    view.onPosition = [this](std::uint32_t position) {
        if (position == 2)
            engine->RequestCancel();
    };
    const PreviewRecord seen = Run();
    EXPECT_EQ(seen.positions, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(log->convertCalls.load(), 3);
    EXPECT_EQ(engine->GetPreviewBytes(), 0u);
    EXPECT_EQ(seen.statuses, std::vector<std::string>{kPreparing});
    EXPECT_EQ(seen.closes, 1);
    EXPECT_TRUE(presenter.Messages().empty());
    ExpectInputValidAndClosed();
}

// Also: after a preview without a sound server, Encode works on the same input.
TEST_F(Preview, CancelsAimedElsewhereReachNeitherThePreviewNorTheNextConversion)
{
    Load(1048576);
    // Left over from an earlier run.
    engine->RequestCancel();
    // Pressed as the dialog closes, after the worker's last look at the event.
    view.onClose = [this] { engine->RequestCancel(); };
    Run();
    EXPECT_EQ(engine->GetPreviewBytes(), CeilDiv(5 * kPcmBytesPerSec, kBlock) * kBlock / 2);

    NotifyWaiter done;
    engine->SetNotifyTarget(&done, 1066);
    engine->SetWriteRiff(0);
    engine->SetOutputPath(dir.File("out.mp3"));
    ASSERT_TRUE(engine->StartConversion());
    ASSERT_TRUE(done.WaitFor(1));
    engine->WaitForWorker();
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Finished);
    EXPECT_EQ(std::filesystem::file_size(dir.File("out.mp3")), 1048576u / 2);
}

TEST_F(Preview, CodecFailuresShow114AndPlayNothing)
{
    struct Case {
        const char* name;
        FakeDriverConfig config;
    };
    std::vector<Case> cases(3);
    cases[0].name = "convert fails at the third pass";
    cases[0].config.convertFailsAtCall = 3;
    cases[1].name = "stream cannot open";
    cases[1].config.openFails = true;
    cases[2].name = "codec never stops flushing";
    cases[2].config.endlessFlush = true;
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPresenter messages;
        RecordingPreviewView failedView;
        ThreadedPreviewHost failedHost(failedView);
        CodecManager manager;
        c.config.formats = {Layer3Format(16000, 2), Layer3Format(400000, 2)};
        auto calls = c.config.log;
        manager.Install(std::make_unique<FakeCodecDriver>(c.config));
        ConverterEngine failing(manager, &messages);
        const std::string path = dir.File("short.wav");
        WriteFile(path, PcmWav(2, 44100, 16, Bytes(c.config.endlessFlush ? 3000 : 100000, 0x22)));
        ASSERT_TRUE(failing.AnalyzeInput(path, false));
        failing.SetFormatIndex(kLargeFormat);

        EXPECT_TRUE(failing.RunPreview(failedHost));
        const PreviewRecord seen = failedView.Record();
        EXPECT_EQ(messages.Messages(), std::vector<std::uint32_t>{strings::kCodecFailed});
        EXPECT_EQ(failing.GetPreviewBytes(), 0u);
        EXPECT_EQ(seen.statuses, std::vector<std::string>{kPreparing});
        EXPECT_EQ(seen.closes, 1);
        EXPECT_LT(calls->convertCalls.load(), 5000);
        // As after a failed conversion, the input is dropped.
        EXPECT_TRUE(failing.GetInputPath().empty());
        EXPECT_FALSE(failing.IsInputOpen());
    }
}

TEST_F(Preview, ReadErrorShows113AndPlaysNothing)
{
    Load(100000);
    // The path now leads to a file that opens and seeks but fails every read at that offset.
    std::filesystem::remove(input);
    std::filesystem::create_symlink("/proc/self/mem", input);
    const PreviewRecord seen = Run();
    EXPECT_EQ(presenter.Messages(), std::vector<std::uint32_t>{strings::kInputReadFailed});
    EXPECT_EQ(log->convertCalls.load(), 0);
    EXPECT_EQ(engine->GetPreviewBytes(), 0u);
    EXPECT_EQ(seen.closes, 1);
    EXPECT_FALSE(engine->IsInputOpen());
}

TEST_F(Preview, OneGibInputReadsOnlyTheSliceAndStaysSmall)
{
    Load(4);
    // A data chunk of 1 GiB in a sparse file: it takes no disk space and reads as silence.
    constexpr std::uint32_t kDataBytes = 1u << 30;
    Bytes head = PcmWav(2, 44100, 16, Bytes());
    const std::uint32_t riffSize = 36 + kDataBytes;
    for (int i = 0; i < 4; ++i) {
        head[4 + i] = static_cast<unsigned char>(riffSize >> (8 * i));
        head[40 + i] = static_cast<unsigned char>(kDataBytes >> (8 * i));
    }
    WriteFile(input, head);
    std::filesystem::resize_file(input, head.size() + kDataBytes);
    ASSERT_TRUE(engine->AnalyzeInput(input, false));
    ASSERT_EQ(engine->GetDataSize(), kDataBytes);
    engine->SetFormatIndex(kLargeFormat);

    const long peakBefore = PeakResidentKiB();
    const PreviewRecord seen = Run();
    EXPECT_EQ(seen.range, 5 * kPcmBytesPerSec / kBlock);
    EXPECT_EQ(log->convertCalls.load(), static_cast<int>(CeilDiv(5 * kPcmBytesPerSec, kBlock)));
    // Slice buffers are a few megabytes at most; a preview that held the input would add a
    // gigabyte.
    EXPECT_LT(PeakResidentKiB() - peakBefore, 64 * 1024);
    ExpectInputValidAndClosed();
}

} // namespace
} // namespace cantrix::test
