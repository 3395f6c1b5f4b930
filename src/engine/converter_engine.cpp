#include "engine/converter_engine.h"

#include "audio/input_analysis.h"
#include "audio/input_tags.h"
#include "engine/preview_run.h"
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
    if (IsBusy())
        RequestCancel();
    WaitForWorker();
    CloseInputFile();
}

bool ConverterEngine::FindCodecDriver()
{
    codec = FindCodec(codecs);
    return codec.has_value();
}

int ConverterEngine::GetCodecEdition()
{
    if (!codec)
        FindCodecDriver();
    return codec ? codec->edition : -1;
}

std::string ConverterEngine::GetCodecEditionName()
{
    return CodecEditionName(GetCodecEdition());
}

void ConverterEngine::ShowCodecAbout(DriverAboutHost* parent)
{
    if (!codec) {
        if (presenter != nullptr)
            presenter->Beep(EventSound::Bell);
        return;
    }
    // A driver that cannot be opened shows nothing.
    (void)ShowCodecAboutBox(codecs, *codec, parent);
}

void ConverterEngine::CloseInputFile()
{
    // The input is only read: a failing close loses nothing.
    if (inputFile.IsOpen())
        (void)inputFile.Close();
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

bool ConverterEngine::AnalyzeInput(const std::string& path, bool probeOnly)
{
    Settle();
    auto fail = [&](std::uint32_t id) { return FailWithMessage(probeOnly ? 0 : id); };
    if (progressCtrl != nullptr)
        progressCtrl->SetPos(0);

    CloseInputFile();
    if (!probeOnly)
        inputTags = InputTags{};
    if (inputFile.Open(path, OpenMode::Read) != mmresult::kNoError)
        return fail(strings::kInputCannotOpen);
    const InputAnalysis analysis = AnalyzeWave(inputFile);
    if (!analysis.input)
        return fail(analysis.message);
    if (probeOnly) {
        // A probe describes the file's format and keeps it open; the input stays what it was.
        input.format = analysis.input->format;
        input.dataSize = analysis.input->dataSize;
        return true;
    }
    input = *analysis.input;
    inputTags = ReadInputTags(inputFile);
    catalogue = FormatCatalogue::Build(codecs, input.format);
    inputPath = path;
    CloseInputFile();
    return true;
}

const std::string& ConverterEngine::GetInputPath() const
{
    static const std::string kNoInput;
    // A failed run has dropped the input, whether or not its report has been taken yet.
    const bool dropped = run != nullptr && run->Ended() && run->Report().outcome == RunOutcome::Failed;
    return dropped ? kNoInput : inputPath;
}

const RunReport& ConverterEngine::LastReport() const
{
    static const RunReport kRunning;
    if (run == nullptr)
        return lastReport;
    return run->Ended() ? run->Report() : kRunning;
}

void ConverterEngine::Settle()
{
    if (run == nullptr || !run->Ended())
        return;
    run->Join();
    lastReport = run->Report();
    run.reset();
    if (lastReport.outcome == RunOutcome::Failed)
        FailWithMessage(0);
}

bool ConverterEngine::OutputWouldOverwriteInput() const
{
    // equivalent() compares the files themselves, so links and other spellings of the input's
    // path are caught; an output that does not exist yet cannot be the input.
    std::error_code error;
    return std::filesystem::equivalent(outputPath, inputPath, error) && !error;
}

bool ConverterEngine::OpenInputAtData()
{
    CloseInputFile();
    const long offset = static_cast<long>(input.dataOffset);
    if (inputFile.Open(inputPath, OpenMode::Read) != mmresult::kNoError ||
        inputFile.Seek(offset, SEEK_SET) != offset)
        return FailWithMessage(strings::kInputCannotOpen);
    return true;
}

bool ConverterEngine::MayStartRun()
{
    Settle();
    if (inputPath.empty() || IsBusy())
        return false;
    // No run starts on a catalogue entry that does not exist.
    if (!catalogue.Holds(formatIndex)) {
        ShowMessage(strings::kRateNotSupported);
        return false;
    }
    return true;
}

bool ConverterEngine::StartConversion()
{
    // Every check that needs no file comes first, so a refused start opens nothing.
    if (!MayStartRun() || outputPath.empty())
        return false;
    if (OutputWouldOverwriteInput()) {
        ShowMessage(strings::kOutputIsInput);
        return false;
    }
    if (!OpenInputAtData())
        return false;

    lastReport = RunReport{};
    const AudioTags tags = WithOverrides(inputTags.tags, tagOverrides);
    run = std::make_unique<ConversionRun>(
        codecs, std::move(inputFile), input, tags, catalogue.Entries()[static_cast<std::size_t>(formatIndex)],
        OutputTarget{outputPath, writeRiff != 0, std::exchange(outputDescriptor, -1)},
        RunTargets{progressCtrl, notifyWnd, notifyMessage, presenter});
    run->Start();
    return true;
}

bool ConverterEngine::RequestCancel()
{
    if (run != nullptr)
        run->Cancel();
    if (preview != nullptr)
        preview->Cancel();
    return true;
}

void ConverterEngine::WaitForWorker()
{
    if (run == nullptr)
        return;
    run->Join();
    Settle();
}

bool ConverterEngine::RunPreview(PreviewHost& host)
{
    if (!MayStartRun() || !OpenInputAtData())
        return false;

    PreviewRun slice(codecs, std::move(inputFile), input,
                     catalogue.Entries()[static_cast<std::size_t>(formatIndex)], inputPath, presenter);
    preview = &slice;
    host.RunPreviewDialog(slice);
    preview = nullptr;
    slice.Join();
    previewBytes = slice.Report().playedBytes;
    if (slice.Report().message != 0)
        FailWithMessage(0);
    return true;
}

} // namespace cantrix
