// The engine's runs against the user-interface side: while conversions and previews start, fail
// and are cancelled back to back, the front end keeps reading the engine's views. Run under
// ThreadSanitizer, a field shared by convention between the two sides shows up as a race.
#include "engine/converter_engine.h"
#include "engine/preview_run.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_preview.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace cantrix::test {
namespace {

constexpr std::uint32_t kDoneMessage = 1066;

// Everything a front end may look at while a run goes on.
void ReadViews(const ConverterEngine& engine)
{
    volatile std::size_t seen =
        engine.GetInputPath().size() + engine.GetFormats().size() + engine.GetOutputPath().size() +
        engine.GetInputFormat().nChannels + static_cast<std::size_t>(engine.GetRunOutcome()) +
        engine.GetRunMessage() + engine.GetRunPcmBytes() +
        static_cast<std::size_t>(engine.GetRunOutputError()) + engine.GetPreviewBytes() +
        (engine.IsBusy() ? 1 : 0) + engine.GetFormatCount();
    (void)seen;
}

// Runs the preview as the dialog does, but cancels it from this side as soon as it has started,
// reading the engine's views meanwhile.
class CancellingHost : public PreviewHost {
public:
    CancellingHost(ConverterEngine& engine, PreviewView& view, bool cancel)
        : engine(engine), view(view), cancel(cancel)
    {
    }
    void RunPreviewDialog(PreviewRun& run) override
    {
        run.Start(view);
        ReadViews(engine);
        if (cancel)
            engine.RequestCancel();
        ReadViews(engine);
        run.Join();
    }

private:
    ConverterEngine& engine;
    PreviewView& view;
    const bool cancel;
};

TEST(EngineThreads, RunsAndPreviewsBackToBackShareOnlyTheirReports)
{
    TempDir dir;
    CodecManager codecs;
    FakeDriverConfig config;
    config.formats = {Layer3Format(4000, 1), Layer3Format(16000, 1)};
    codecs.Install(std::make_unique<FakeCodecDriver>(config));
    RecordingPresenter presenter;
    RecordingProgress progress;
    NotifyWaiter done;
    ConverterEngine engine(codecs, &presenter);
    engine.SetProgressCtrl(&progress);
    engine.SetNotifyTarget(&done, kDoneMessage);
    const std::string input = dir.File("in.wav");
    const Bytes wav = PcmWav(1, 44100, 16, Bytes(400000, 0x11));

    enum class Case { Finished, CancelledAtOnce, OutputUnwritable, InputMissing };
    int ends = 0;
    for (int round = 0; round < 8; ++round) {
        for (const Case what :
             {Case::Finished, Case::CancelledAtOnce, Case::OutputUnwritable, Case::InputMissing}) {
            WriteFile(input, wav);
            ASSERT_TRUE(engine.AnalyzeInput(input, false));
            engine.SetFormatIndex(1);
            engine.SetOutputPath(what == Case::OutputUnwritable ? dir.File("missing/out.mp3")
                                                                : dir.File("out.mp3"));
            engine.SetWriteRiff(round % 2);
            if (what == Case::InputMissing)
                std::filesystem::remove(input);
            const bool started = engine.StartConversion();
            ASSERT_EQ(started, what != Case::InputMissing);
            if (what == Case::CancelledAtOnce)
                engine.RequestCancel();
            while (started && engine.IsBusy())
                ReadViews(engine);
            if (started) {
                ASSERT_TRUE(done.WaitFor(++ends));
            }
            ReadViews(engine);
            engine.WaitForWorker();
            const RunOutcome expected = what == Case::Finished           ? RunOutcome::Finished
                                        : what == Case::OutputUnwritable ? RunOutcome::Failed
                                                                         : RunOutcome::Cancelled;
            // A refused start leaves the last run's report; a cancel may come after the last pass
            // of so short a run.
            if (started &&
                (what != Case::CancelledAtOnce || engine.GetRunOutcome() != RunOutcome::Finished)) {
                EXPECT_EQ(engine.GetRunOutcome(), expected);
            }
            EXPECT_EQ(engine.GetInputPath().empty(),
                      what == Case::OutputUnwritable || what == Case::InputMissing);

            WriteFile(input, wav);
            ASSERT_TRUE(engine.AnalyzeInput(input, false));
            engine.SetFormatIndex(1);
            RecordingPreviewView view;
            CancellingHost host(engine, view, what != Case::Finished);
            ASSERT_TRUE(engine.RunPreview(host));
            EXPECT_EQ(view.Record().closes, 1);
            ReadViews(engine);
        }
    }
    const std::vector<std::uint32_t> messages = presenter.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), strings::kOutputCannotOpen), 8);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), strings::kInputCannotOpen), 8);
}

} // namespace
} // namespace cantrix::test
