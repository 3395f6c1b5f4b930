// The conversion worker: streams the input's PCM data through one codec stream in 2048-byte
// blocks and appends what the codec returns to the output file, raw or in a RIFF/WAVE container.
#include "engine/conversion_stream.h"
#include "engine/converter_engine.h"
#include "platform/string_table.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace cantrix {

namespace {
constexpr std::uint32_t kSourceBlockBytes = ConversionStream::kSourceBlockBytes;
// The progress bar counts passes: one per source block.
constexpr int kPassShift = 11;
} // namespace

void ConverterEngine::RunConversion(const RunSettings& run)
{
    RunOutcome outcome = RunOutcome::Finished;
    std::uint32_t failure = 0;
    auto fail = [&](std::uint32_t id) {
        outcome = RunOutcome::Failed;
        failure = id;
        FailWithMessage(id);
    };

    std::vector<unsigned char> source(kSourceBlockBytes);
    std::vector<unsigned char> destination;
    std::uint32_t pcmRead = 0;
    int outputError = 0;

    if (run.progress != nullptr) {
        run.progress->SetRange(dataSize >> kPassShift);
        run.progress->SetStep(1);
    }

    {
        ConversionStream stream(codecs);
        RiffFile output;
        lastResult = stream.Open(inputFormat, run.destination, source.data(), destination);
        if (lastResult != mmresult::kNoError) {
            // Nothing is created, so an existing file of the output's name stays as it was.
            fail(strings::kCodecFailed);
        } else if ((lastResult = run.outputDescriptor >= 0
                                     ? output.OpenDescriptor(run.outputDescriptor)
                                     : output.Open(run.outputPath, OpenMode::Create)) != mmresult::kNoError) {
            fail(strings::kOutputCannotOpen);
        } else {
            if (run.writeRiff)
                WriteContainerHead(output, run.destination);

            ACMSTREAMHEADER& header = stream.Header();
            std::uint32_t remaining = dataSize;
            long lastCount = inputFile.Read(source.data(), std::min(remaining, kSourceBlockBytes));
            bool readFailed = lastCount < 0;
            lastCount = std::max(lastCount, 0L);
            remaining -= static_cast<std::uint32_t>(lastCount);
            header.cbSrcLength = static_cast<std::uint32_t>(lastCount);

            bool closeContainer = run.writeRiff;
            int endPasses = 0;
            while (!readFailed) {
                const std::uint32_t flags = lastCount != 0 ? kConvertBlockAlign : kConvertEnd;
                lastResult = stream.Convert(flags);
                if (lastResult != mmresult::kNoError ||
                    (flags == kConvertEnd && ++endPasses > kMaxEndPasses)) {
                    fail(strings::kCodecFailed);
                    break;
                }
                if (lastCount == 0 && header.cbDstLengthUsed == 0)
                    break;
                if (output.Write(destination.data(), header.cbDstLengthUsed) !=
                    static_cast<long>(header.cbDstLengthUsed)) {
                    // The container is left as it is: its sizes would claim data that is missing.
                    closeContainer = false;
                    fail(strings::kOutputIncomplete);
                    break;
                }
                lastCount = stream.Refill(inputFile, remaining);
                if (lastCount < 0) {
                    readFailed = true;
                    break;
                }
                if (run.progress != nullptr)
                    run.progress->StepIt();
                if (cancelEvent.Wait(std::chrono::milliseconds(0))) {
                    outcome = RunOutcome::Cancelled;
                    break;
                }
            }
            pcmRead = dataSize - remaining;
            // A read error never reaches the codec as a count; what was converted is kept in a
            // well-formed file and the user is told that it is incomplete.
            if (closeContainer && CloseContainer(output, run.destination, pcmRead) != mmresult::kNoError &&
                outcome != RunOutcome::Failed)
                fail(strings::kOutputIncomplete);
            if (readFailed && outcome != RunOutcome::Failed)
                fail(strings::kInputReadFailed);
            if (output.Close() != mmresult::kNoError && outcome != RunOutcome::Failed)
                fail(strings::kOutputIncomplete);
        }
        outputError = output.SystemError();
    }
    CloseInputFile();

    if (run.progress != nullptr)
        run.progress->SetPos(0);
    runOutcome = outcome;
    runMessage = failure;
    runPcmBytes = pcmRead;
    runOutputError = outcome == RunOutcome::Failed ? outputError : 0;
    workerRunning = false;
    if (run.notify != nullptr)
        run.notify->PostNotify(run.notifyMessage);
}

} // namespace cantrix
