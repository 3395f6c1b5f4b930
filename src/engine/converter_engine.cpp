#include "engine/converter_engine.h"

#include "platform/string_table.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

namespace cantrix {

ConverterEngine::ConverterEngine(CodecManager& codecs, MessagePresenter* presenter)
    : codecs(codecs), presenter(presenter)
{
    FindCodecDriver();
}

ConverterEngine::~ConverterEngine()
{
    if (workerRunning.load())
        RequestCancel();
    WaitForWorker();
    CloseInputFile();
}

void ConverterEngine::CloseInputFile()
{
    if (inputFile.IsOpen())
        lastResult = inputFile.Close();
}

void ConverterEngine::ShowMessage(std::uint32_t id)
{
    if (presenter != nullptr)
        presenter->ShowMessage(id);
}

bool ConverterEngine::FailWithMessage(std::uint32_t id)
{
    inputPath.clear();
    if (id != 0)
        ShowMessage(id);
    CloseInputFile();
    return false;
}

bool ConverterEngine::OutputWouldOverwriteInput() const
{
    // equivalent() compares the files themselves, so links and other spellings of the input's
    // path are caught; an output that does not exist yet cannot be the input.
    std::error_code error;
    return std::filesystem::equivalent(outputPath, inputPath, error) && !error;
}

bool ConverterEngine::HasChosenFormat() const
{
    return formatIndex >= 0 && static_cast<std::size_t>(formatIndex) < formats.size();
}

bool ConverterEngine::OpenInputAtData()
{
    CloseInputFile();
    lastResult = inputFile.Open(inputPath, OpenMode::Read);
    if (lastResult != mmresult::kNoError ||
        inputFile.Seek(dataOffset, SEEK_SET) != static_cast<long>(dataOffset))
        return FailWithMessage(strings::kInputCannotOpen);
    return true;
}

bool ConverterEngine::StartConversion()
{
    if (inputPath.empty() || workerRunning.load())
        return false;
    // Every check that needs no file comes first, so a refused start opens nothing.
    if (!HasChosenFormat()) {
        ShowMessage(strings::kRateNotSupported);
        return false;
    }
    if (outputPath.empty())
        return false;
    if (OutputWouldOverwriteInput()) {
        ShowMessage(strings::kOutputIsInput);
        return false;
    }

    if (!OpenInputAtData())
        return false;

    RunSettings run;
    run.destination = formats[static_cast<std::size_t>(formatIndex)];
    run.writeRiff = writeRiff != 0;
    run.outputPath = outputPath;
    run.outputDescriptor = std::exchange(outputDescriptor, -1);
    run.progress = progressCtrl;
    run.notify = notifyWnd;
    run.notifyMessage = notifyMessage;

    // The previous worker has posted its end message, so joining it returns at once.
    WaitForWorker();
    // A cancel that arrived after the previous run's last poll (or with no run at all) must not
    // stop this one after its first pass.
    cancelEvent.Reset();
    runOutcome = RunOutcome::None;
    runMessage = 0;
    runPcmBytes = 0;
    runOutputError = 0;
    workerRunning = true;
    worker = std::thread([this, run = std::move(run)] { RunConversion(run); });
    return true;
}

bool ConverterEngine::RequestCancel()
{
    cancelEvent.Set();
    return true;
}

void ConverterEngine::WaitForWorker()
{
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
        worker.join();
}

} // namespace cantrix
