// The conversion worker: streams the input's PCM data through one codec stream in 2048-byte
// blocks and appends what the codec returns to the output file, raw or in a RIFF/WAVE container.
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/converter_engine.h"
#include "platform/string_table.h"

namespace cantrix {

namespace {
constexpr std::uint32_t kSourceBlockBytes = 2048;
// The progress bar counts passes: one per source block.
constexpr int kPassShift = 11;
// A codec that keeps producing output after the end of the input is broken; this many flushing
// passes is far more than any real codec needs.
constexpr int kMaxEndPasses = 4096;

// Owns the codec stream and its prepared header for one run.
class ConversionStream {
public:
    explicit ConversionStream(CodecManager& codecs) : codecs(codecs) {}
    ~ConversionStream()
    {
        if (prepared)
            codecs.StreamUnprepareHeader(stream, header, 0);
        if (stream != nullptr)
            codecs.StreamClose(stream, 0);
    }
    ConversionStream(const ConversionStream&) = delete;
    ConversionStream& operator=(const ConversionStream&) = delete;

    MmResult Open(const WAVEFORMATEX& source, const FormatEntry& destination, unsigned char* sourceBuffer,
                  std::vector<unsigned char>& destinationBuffer)
    {
        MmResult result = codecs.StreamOpen(stream, nullptr, source, destination.format.data(),
                                            destination.format.size(), kStreamOpenNonRealtime);
        if (result != mmresult::kNoError)
            return result;
        std::uint32_t destinationSize = 0;
        result = codecs.StreamSize(stream, kSourceBlockBytes, destinationSize, kStreamSizeSource);
        if (result != mmresult::kNoError || destinationSize == 0)
            return result != mmresult::kNoError ? result : mmresult::kNotPossible;
        destinationBuffer.assign(destinationSize, 0);
        header = ACMSTREAMHEADER{};
        header.cbStruct = sizeof header;
        header.pbSrc = sourceBuffer;
        header.cbSrcLength = kSourceBlockBytes;
        header.pbDst = destinationBuffer.data();
        header.cbDstLength = destinationSize;
        result = codecs.StreamPrepareHeader(stream, header, 0);
        prepared = result == mmresult::kNoError;
        return result;
    }

    MmResult Convert(std::uint32_t flags) { return codecs.StreamConvert(stream, header, flags); }
    ACMSTREAMHEADER& Header() { return header; }

private:
    CodecManager& codecs;
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header{};
    bool prepared = false;
};
}  // namespace

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
        } else if ((lastResult = output.Open(run.outputPath, OpenMode::Create)) != mmresult::kNoError) {
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
                if (lastResult != mmresult::kNoError || (flags == kConvertEnd && ++endPasses > kMaxEndPasses)) {
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
                const std::uint32_t leftover = header.cbSrcLength - header.cbSrcLengthUsed;
                if (leftover != 0)
                    std::memmove(source.data(), source.data() + header.cbSrcLengthUsed, leftover);
                lastCount = inputFile.Read(source.data() + leftover, std::min(header.cbSrcLengthUsed, remaining));
                if (lastCount < 0) {
                    readFailed = true;
                    break;
                }
                remaining -= static_cast<std::uint32_t>(lastCount);
                header.cbSrcLength = leftover + static_cast<std::uint32_t>(lastCount);
                if (run.progress != nullptr)
                    run.progress->StepIt();
                if (cancelEvent.Wait(std::chrono::milliseconds(0))) {
                    outcome = RunOutcome::Cancelled;
                    break;
                }
            }
            // A read error never reaches the codec as a count; what was converted is kept in a
            // well-formed file and the user is told that it is incomplete.
            if (closeContainer && CloseContainer(output) != mmresult::kNoError && outcome != RunOutcome::Failed)
                fail(strings::kOutputIncomplete);
            if (readFailed && outcome != RunOutcome::Failed)
                fail(strings::kInputReadFailed);
            if (output.Close() != mmresult::kNoError && outcome != RunOutcome::Failed)
                fail(strings::kOutputIncomplete);
        }
    }
    CloseInputFile();

    if (run.progress != nullptr)
        run.progress->SetPos(0);
    runOutcome = outcome;
    runMessage = failure;
    workerRunning = false;
    if (run.notify != nullptr)
        run.notify->PostNotify(run.notifyMessage);
}

}  // namespace cantrix
