#include "engine/conversion_run.h"

#include "audio/output_writer.h"
#include "engine/codec_pump.h"
#include "engine/conversion_stream.h"
#include "platform/string_table.h"

#include <memory>
#include <vector>

namespace cantrix {

namespace {
// Appends each pass's bytes to the output.
class WriterSink : public PumpSink {
public:
    explicit WriterSink(OutputWriter& writer) : writer(writer) {}
    Taken Take(const unsigned char* data, std::uint32_t size) override
    {
        return writer.Append(data, size) ? Taken::More : Taken::Failed;
    }

private:
    OutputWriter& writer;
};
} // namespace

ConversionRun::ConversionRun(CodecManager& codecs, RiffFile input, const InputDescription& description,
                             AudioTags tags, const FormatEntry& destination, OutputTarget output,
                             RunTargets targets)
    : codecs(codecs), input(std::move(input)), description(description), tags(std::move(tags)),
      destination(destination), output(std::move(output)), targets(targets)
{
}

ConversionRun::~ConversionRun()
{
    Join();
}

void ConversionRun::Start()
{
    thread = std::thread([this] { Body(); });
}

void ConversionRun::Join()
{
    // The end message may reach a target that waits for the run on the run's own thread.
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

void ConversionRun::Fail(std::uint32_t message)
{
    report.outcome = RunOutcome::Failed;
    report.message = message;
    // Shown from this thread, which waits until the user has dismissed it.
    if (targets.presenter != nullptr)
        targets.presenter->ShowMessage(message);
}

void ConversionRun::Body()
{
    if (targets.progress != nullptr) {
        targets.progress->SetRange(PassesFor(description.dataSize));
        targets.progress->SetStep(1);
    }
    {
        std::vector<unsigned char> source(kCallerBlockBytes);
        std::vector<unsigned char> encoded;
        ConversionStream stream(codecs);
        const std::unique_ptr<OutputWriter> writer =
            MakeOutputWriter(output.riff, destination, description, tags, stream);
        // The stream is opened first, so an existing file of the output's name stays as it was when
        // the codec refuses.
        if (stream.Open(description.format, destination, source.data(), encoded) != mmresult::kNoError) {
            Fail(strings::kCodecFailed);
        } else if (const MmResult opened = writer->Open(output.path, output.descriptor);
                   opened != mmresult::kNoError) {
            Fail(opened == mmresult::kCannotWrite ? strings::kOutputIncomplete : strings::kOutputCannotOpen);
        } else {
            WriterSink sink(*writer);
            CodecPump pump(stream, input, description.dataSize);
            pump.CountClipping(description.format);
            const PumpEnd end = pump.Run(
                sink,
                [this](std::uint32_t) {
                    if (targets.progress != nullptr)
                        targets.progress->StepIt();
                },
                cancel);
            report.outcome = end == PumpEnd::Cancelled ? RunOutcome::Cancelled : RunOutcome::Finished;
            report.pcmBytes = pump.PcmRead();
            report.clippedSamples = pump.Clipped();
            if (end == PumpEnd::CodecFailed)
                Fail(strings::kCodecFailed);
            if (end == PumpEnd::SinkFailed)
                Fail(strings::kOutputIncomplete);
            // What was converted is kept in a well-formed file, unless writing failed: the sizes
            // would then claim data that is missing. A read error never reached the codec as a
            // count; the user is told that the output is incomplete.
            const bool failed = report.outcome == RunOutcome::Failed;
            if (end != PumpEnd::SinkFailed && writer->Finish(report.pcmBytes) != mmresult::kNoError &&
                !failed)
                Fail(strings::kOutputIncomplete);
            if (end == PumpEnd::ReadFailed && report.outcome != RunOutcome::Failed)
                Fail(strings::kInputReadFailed);
            if (writer->Close() != mmresult::kNoError && report.outcome != RunOutcome::Failed)
                Fail(strings::kOutputIncomplete);
        }
        if (report.outcome == RunOutcome::Failed)
            report.systemError = writer->SystemError();
    }
    // Reading is over; a failing close of a file only read loses nothing.
    (void)input.Close();

    if (targets.progress != nullptr)
        targets.progress->SetPos(0);
    ended.store(true, std::memory_order_release);
    if (targets.notify != nullptr)
        targets.notify->PostNotify(targets.notifyMessage);
}

} // namespace cantrix
