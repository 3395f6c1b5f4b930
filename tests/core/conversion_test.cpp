#include "drivers/built_in_drivers.h"
#include "drivers/layer3_frames.h"
#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace cantrix::test {
namespace {

constexpr std::uint32_t kDoneMessage = 1066;

// An engine on a fake codec that writes one output byte per two PCM bytes plus `flushBytes` at
// the end, with a loaded 16-bit mono input of `dataBytes` bytes.
class Conversion : public ::testing::Test {
protected:
    void Load(std::uint32_t dataBytes, FakeDriverConfig config = {})
    {
        if (config.formats.empty())
            config.formats = {Layer3Format(4000, 1), Layer3Format(16000, 1)};
        log = config.log;
        codecs.Install(std::make_unique<FakeCodecDriver>(config));
        engine = std::make_unique<ConverterEngine>(codecs, &presenter);
        engine->SetNotifyTarget(&done, kDoneMessage);
        engine->SetProgressCtrl(&progress);
        input = dir.File("in put.wav");
        WriteFile(input, PcmWav(1, 44100, 16, Bytes(dataBytes, 0x11)));
        ASSERT_TRUE(engine->AnalyzeInput(input, false));
        engine->SetFormatIndex(1);
        engine->SetOutputPath(dir.File("out.wav"));
    }

    // Runs a conversion to its end message; the output's bytes.
    Bytes Convert()
    {
        EXPECT_TRUE(engine->StartConversion());
        EXPECT_TRUE(done.WaitFor(++runs));
        engine->WaitForWorker();
        return ReadFile(engine->GetOutputPath());
    }

    static Bytes Expected(std::size_t n)
    {
        Bytes bytes(n);
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = FakeCodecDriver::OutputByte(i);
        return bytes;
    }

    TempDir dir;
    CodecManager codecs;
    RecordingPresenter presenter;
    RecordingProgress progress;
    NotifyWaiter done;
    std::shared_ptr<FakeDriverLog> log;
    std::unique_ptr<ConverterEngine> engine;
    std::string input;
    int runs = 0;
};

TEST_F(Conversion, RiffLayoutIsByteExactWithPadByte)
{
    FakeDriverConfig config;
    config.flushBytes = 1;
    Load(2000, config);
    const Bytes file = Convert();
    ASSERT_EQ(file.size(), 1074u); // 72 + 1001 + pad
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(ReadU32(file, 4), 1066u);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(ReadU32(file, 16), 32u);
    EXPECT_TRUE(std::equal(file.begin() + 20, file.begin() + 52, engine->GetFormats()[1].format.begin()));
    EXPECT_EQ(ReadU16(file, 20 + 16), 12u); // cbSize stays 12 inside a 32-byte chunk
    EXPECT_EQ(std::string(file.begin() + 52, file.begin() + 56), "fact");
    EXPECT_EQ(ReadU32(file, 56), 4u);
    EXPECT_EQ(ReadU32(file, 60), 1000u); // sample frames of the 16-bit mono input
    EXPECT_EQ(std::string(file.begin() + 64, file.begin() + 68), "data");
    EXPECT_EQ(ReadU32(file, 68), 1001u);
    EXPECT_EQ(Bytes(file.begin() + 72, file.begin() + 1073), Expected(1001));
    EXPECT_EQ(file[1073], 0);
    EXPECT_TRUE(presenter.Messages().empty());
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Finished);
    EXPECT_EQ(engine->GetInputPath(), input);
    EXPECT_FALSE(engine->IsInputOpen());
    EXPECT_EQ(done.LastMessage(), kDoneMessage);
}

TEST_F(Conversion, RawStreamEqualsTheRiffPayload)
{
    FakeDriverConfig config;
    config.flushBytes = 7;
    Load(10000, config);
    const Bytes riff = Convert();
    engine->SetWriteRiff(0);
    engine->SetOutputPath(dir.File("out.mp3"));
    const Bytes raw = Convert();
    EXPECT_EQ(raw, Expected(5007));
    ASSERT_EQ(riff.size(), 72u + raw.size() + 1);
    EXPECT_EQ(Bytes(riff.begin() + 72, riff.end() - 1), raw);
}

TEST_F(Conversion, NoCodecOutputGivesTheBareContainerAndAnEmptyRawFile)
{
    // One sample frame, of which the codec makes nothing.
    FakeDriverConfig config;
    config.outputNumerator = 0;
    Load(2, config);
    const Bytes file = Convert();
    ASSERT_EQ(file.size(), 72u);
    EXPECT_EQ(ReadU32(file, 4), 64u);
    EXPECT_EQ(ReadU32(file, 60), 0u);
    EXPECT_EQ(ReadU32(file, 68), 0u);
    EXPECT_EQ(progress.range, 0u);
    engine->SetWriteRiff(0);
    engine->SetOutputPath(dir.File("out.mp3"));
    EXPECT_TRUE(Convert().empty());
}

TEST_F(Conversion, ProgressCountsPassesAndEndsEmpty)
{
    Load(3 * 2048 + 1000);
    Convert();
    EXPECT_EQ(progress.range, 3u);
    EXPECT_EQ(progress.step, 1u);
    EXPECT_GE(progress.steps, 4u);
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_EQ(progress.positions.back(), 0u);
}

TEST_F(Conversion, ProgressRangeDoesNotWrapAt16Bits)
{
    Load(100);
    // A data chunk that claims 128 MiB but holds 100 bytes: reads come back short and the run
    // ends normally at the file's end.
    Bytes file = ReadFile(input);
    file[40] = 0x00, file[41] = 0x00, file[42] = 0x00, file[43] = 0x08;
    WriteFile(input, file);
    ASSERT_TRUE(engine->AnalyzeInput(input, false));
    EXPECT_EQ(engine->GetDataSize(), 1u << 27);
    const Bytes out = Convert();
    EXPECT_EQ(progress.range, 65536u);
    EXPECT_EQ(ReadU32(out, 68), 50u);
    EXPECT_EQ(engine->GetRunPcmBytes(), 100u);
    EXPECT_EQ(ReadU32(out, 60), 50u);
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Finished);
}

TEST_F(Conversion, CancelLeavesAShortWellFormedFile)
{
    Load(64 * 1024 * 1024);
    EXPECT_TRUE(engine->StartConversion());
    engine->RequestCancel();
    EXPECT_TRUE(done.WaitFor(++runs));
    engine->WaitForWorker();
    const Bytes file = ReadFile(engine->GetOutputPath());
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Cancelled);
    EXPECT_GE(ReadU32(file, 68), 1024u);
    EXPECT_LT(ReadU32(file, 68), 32u * 1024 * 1024);
    EXPECT_EQ(ReadU32(file, 4), file.size() - 8);
    // The length of what was read, not of the whole input.
    EXPECT_LT(engine->GetRunPcmBytes(), 64u * 1024 * 1024);
    EXPECT_GE(engine->GetRunPcmBytes(), 2 * ReadU32(file, 68));
    EXPECT_EQ(ReadU32(file, 60), engine->GetRunPcmBytes() / 2);
    EXPECT_EQ(engine->GetInputPath(), input);
    EXPECT_TRUE(presenter.Messages().empty());
}

TEST_F(Conversion, CancelLeftOverFromAnEarlierRunDoesNotStopTheNextOne)
{
    Load(100000);
    engine->RequestCancel();
    const Bytes file = Convert();
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Finished);
    EXPECT_EQ(ReadU32(file, 68), 50000u);
}

TEST_F(Conversion, RefusesWithoutInputOutputOrCatalogue)
{
    CodecManager none;
    ConverterEngine fresh(none, &presenter);
    EXPECT_EQ(fresh.GetWriteRiff(), 1);
    EXPECT_EQ(fresh.GetFormatIndex(), 1);
    EXPECT_FALSE(fresh.StartConversion());
    WriteFile(dir.File("a.wav"), PcmWav(1, 44100, 16, Bytes(10, 0)));
    ASSERT_TRUE(fresh.AnalyzeInput(dir.File("a.wav"), false));
    fresh.SetOutputPath(dir.File("a.mp3"));
    fresh.SetFormatIndex(0);
    EXPECT_FALSE(fresh.StartConversion());
    EXPECT_EQ(presenter.Messages(), (std::vector<std::uint32_t>{strings::kRateNotSupported}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.mp3")));
    EXPECT_EQ(fresh.GetInputPath(), dir.File("a.wav"));

    Load(100);
    engine->SetOutputPath("");
    EXPECT_FALSE(engine->StartConversion());
    EXPECT_EQ(presenter.Messages().size(), 1u);
}

TEST_F(Conversion, OutputNamingTheInputIsRefusedEvenThroughLinks)
{
    Load(100);
    const Bytes before = ReadFile(input);
    std::filesystem::create_symlink(input, dir.File("link.wav"));
    std::filesystem::create_hard_link(input, dir.File("hard.wav"));
    for (const std::string& out :
         {input, dir.File("link.wav"), dir.File("hard.wav"), dir.File("./in put.wav")}) {
        engine->SetOutputPath(out);
        EXPECT_FALSE(engine->StartConversion()) << out;
    }
    EXPECT_EQ(presenter.Messages(), std::vector<std::uint32_t>(4, strings::kOutputIsInput));
    EXPECT_EQ(ReadFile(input), before);
    EXPECT_EQ(engine->GetInputPath(), input);
}

TEST_F(Conversion, DeletedInputGives104AndDropsIt)
{
    Load(100);
    std::filesystem::remove(input);
    EXPECT_FALSE(engine->StartConversion());
    EXPECT_EQ(presenter.Messages(), (std::vector<std::uint32_t>{strings::kInputCannotOpen}));
    EXPECT_TRUE(engine->GetInputPath().empty());
}

TEST_F(Conversion, OutputInAMissingFolderGives105ThenRefusesASecondStart)
{
    Load(100);
    engine->SetOutputPath(dir.File("no such folder/out.wav"));
    Convert();
    EXPECT_EQ(presenter.Messages(), (std::vector<std::uint32_t>{strings::kOutputCannotOpen}));
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Failed);
    EXPECT_EQ(engine->GetRunMessage(), strings::kOutputCannotOpen);
    EXPECT_TRUE(engine->GetInputPath().empty());
    EXPECT_FALSE(engine->IsInputOpen());
    EXPECT_EQ(done.LastMessage(), kDoneMessage);
    EXPECT_FALSE(engine->StartConversion());
}

TEST_F(Conversion, FullDiskGives106)
{
    Load(400000);
    engine->SetOutputPath("/dev/full");
    EXPECT_TRUE(engine->StartConversion());
    EXPECT_TRUE(done.WaitFor(1));
    EXPECT_EQ(presenter.Messages(), (std::vector<std::uint32_t>{strings::kOutputIncomplete}));
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Failed);
    EXPECT_TRUE(engine->GetInputPath().empty());
}

TEST_F(Conversion, StreamThatCannotOpenFailsBeforeTheOutputIsTouched)
{
    FakeDriverConfig config;
    config.openFails = true;
    Load(5000, config);
    WriteFile(dir.File("out.wav"), Bytes{'k', 'e', 'e', 'p'});
    Convert();
    EXPECT_EQ(ReadFile(dir.File("out.wav")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(engine->GetRunMessage(), strings::kCodecFailed);
    EXPECT_EQ(presenter.Messages(), (std::vector<std::uint32_t>{strings::kCodecFailed}));
}

TEST_F(Conversion, FailingConvertEndsTheRunWithAWellFormedFile)
{
    FakeDriverConfig config;
    config.convertFailsAtCall = 2;
    Load(5000, config);
    const Bytes file = Convert();
    EXPECT_EQ(engine->GetRunMessage(), strings::kCodecFailed);
    EXPECT_EQ(ReadU32(file, 68), 1024u);
    EXPECT_EQ(ReadU32(file, 4), file.size() - 8);
}

TEST_F(Conversion, CodecThatNeverStopsFlushingCannotLoopForever)
{
    FakeDriverConfig config;
    config.endlessFlush = true;
    Load(5000, config);
    const Bytes file = Convert();
    EXPECT_EQ(engine->GetRunOutcome(), RunOutcome::Failed);
    EXPECT_EQ(engine->GetRunMessage(), strings::kCodecFailed);
    EXPECT_EQ(ReadU32(file, 4), file.size() - 8 - file.size() % 2);
}

TEST_F(Conversion, DestroyingTheEngineDuringARunCancelsAndWaits)
{
    Load(8 * 1024 * 1024);
    engine->SetWriteRiff(0);
    EXPECT_TRUE(engine->StartConversion());
    engine.reset();
    EXPECT_TRUE(done.WaitFor(1));
    const Bytes out = ReadFile(dir.File("out.wav"));
    EXPECT_LT(out.size(), 4u * 1024 * 1024);
}

// Cancels the run after `passes` passes, from the worker itself.
struct CancelAfter : ProgressTarget {
    ConverterEngine& engine;
    std::uint32_t passes;
    CancelAfter(ConverterEngine& engine, std::uint32_t passes) : engine(engine), passes(passes) {}
    void SetRange(std::uint32_t) override {}
    void SetStep(std::uint32_t) override {}
    void SetPos(std::uint32_t) override {}
    void StepIt() override
    {
        if (--passes == 0)
            engine.RequestCancel();
    }
};

// When a run is cancelled the real codec still holds segments of many seconds that are never
// written; "fact" states the length of the frames in the file, at every MPEG version.
TEST(CancelledRiffOutput, FactStatesTheLengthOfTheDataAtEveryMpegVersion)
{
    TempDir dir;
    WriteFile(dir.File("in.wav"), PcmWav(2, 44100, 16, SineSamples16(44100, 2, 60.0)));
    CodecManager codecs;
    InstallBuiltInDrivers(codecs);
    for (const std::uint32_t rate : {44100u, 22050u, 11025u}) {
        SCOPED_TRACE(rate);
        ConverterEngine engine(codecs);
        NotifyWaiter done;
        CancelAfter canceller(engine, 40 * 44100 * 4 / 2048); // 40 s of input
        engine.SetNotifyTarget(&done, kDoneMessage);
        engine.SetProgressCtrl(&canceller);
        ASSERT_TRUE(engine.AnalyzeInput(dir.File("in.wav"), false));
        const auto& formats = engine.GetFormats();
        engine.SetFormatIndex(
            static_cast<int>(std::find_if(formats.begin(), formats.end(),
                                          [&](const auto& f) { return f.SamplesPerSec() == rate; }) -
                             formats.begin()));
        engine.SetOutputPath(dir.File("out.wav"));
        ASSERT_TRUE(engine.StartConversion());
        ASSERT_TRUE(done.WaitFor(1));
        engine.WaitForWorker();
        ASSERT_EQ(engine.GetRunOutcome(), RunOutcome::Cancelled);

        const Bytes file = ReadFile(dir.File("out.wav"));
        Layer3Stream frames;
        frames.Bytes() = Bytes(file.begin() + 72, file.begin() + 72 + ReadU32(file, 68));
        ASSERT_TRUE(frames.Index());
        const double held = static_cast<double>(frames.FrameEnd()) * (rate >= 32000 ? 1152 : 576);
        EXPECT_NEAR(ReadU32(file, 60), held, 0.1 * rate);
        // The codec did hold back: the input read lasts seconds longer.
        EXPECT_GT(engine.GetRunPcmBytes() / 4.0 * rate / 44100, held + rate);
    }
}

} // namespace
} // namespace cantrix::test
