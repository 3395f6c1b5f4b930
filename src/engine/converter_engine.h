#pragma once
// ConverterEngine: the one object through which the front ends reach the Layer-3 codec and the
// audio files. It keeps what the user has chosen (the input, its format catalogue, the format,
// the output and its container) and starts conversion and preview runs from it. The work itself
// is done by plain parts below it: codec discovery and the catalogue in codec/, input analysis and
// the output writers in audio/, the runs and the codec pump here.
//
// Thread rules: every operation is called on the user-interface thread. A run takes copies of
// what it needs when it starts and owns its thread and its data; the engine reaches a running
// conversion only to cancel it and reads its report once it has ended. A failed run drops the
// input from then on, as FailWithMessage does.
#include "audio/format_entry.h"
#include "audio/input_description.h"
#include "audio/input_tags.h"
#include "codec/codec_discovery.h"
#include "codec/format_catalogue.h"
#include "engine/conversion_run.h"
#include "engine/engine_targets.h"
#include "engine/preview_host.h"
#include "engine/run_report.h"
#include "platform/codec_manager.h"
#include "platform/riff_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cantrix {

class PreviewRun;

class ConverterEngine {
public:
    explicit ConverterEngine(CodecManager& codecs = CodecManager::Instance(),
                             MessagePresenter* presenter = nullptr);
    // Cancels a running conversion and waits for it, so nothing it uses goes away under it.
    ~ConverterEngine();
    ConverterEngine(const ConverterEngine&) = delete;
    ConverterEngine& operator=(const ConverterEngine&) = delete;

    // Codec discovery.
    bool FindCodecDriver();
    int GetCodecEdition();
    std::string GetCodecEditionName();
    // The codec's own About box; a beep when there is no codec.
    void ShowCodecAbout(DriverAboutHost* parent);

    // Input analysis. A full analysis makes the file the input and rebuilds the catalogue; a probe
    // (silent) only describes the file's format and keeps it open until the next analysis.
    bool AnalyzeInput(const std::string& path, bool probeOnly);
    unsigned GetInputChannels() const { return input.format.nChannels; }
    std::uint32_t GetInputSamplesPerSec() const { return input.format.nSamplesPerSec; }
    // The tags of the input of the last full analysis, and a warning about those left out.
    const InputTags& GetInputTags() const { return inputTags; }
    // What the user sets over the input's tags; the next conversion's output carries the result.
    void SetTagOverrides(const TagOverrides& overrides) { tagOverrides = overrides; }

    // Format catalogue and presets.
    unsigned GetFormatCount() const { return catalogue.Count(); }
    std::string GetFormatName(unsigned index) const { return catalogue.Name(index); }
    int FindLowestBitrateFormat() const { return catalogue.FindLowestBitrate(); }
    int FindModemFormat() const { return catalogue.FindModem(); }
    int FindIsdnFormat() const { return catalogue.FindIsdn(); }
    int FindPresetFormat(Preset preset) const { return catalogue.Find(preset); }
    void SetFormatIndex(int index) { formatIndex = index; }

    void SetProgressCtrl(ProgressTarget* target) { progressCtrl = target; }
    void SetNotifyTarget(NotifyTarget* target, std::uint32_t message)
    {
        notifyWnd = target;
        notifyMessage = message;
    }
    void SetMessagePresenter(MessagePresenter* target) { presenter = target; }
    void SetWriteRiff(std::int32_t value) { writeRiff = value; }
    std::int32_t GetWriteRiff() const { return writeRiff; }
    void SetOutputPath(const std::string& path) { outputPath = path; }
    // The next run writes through this descriptor (an output its caller has opened for writing and
    // keeps open until the run has ended) instead of opening the output path, which then only
    // names it.
    void SetOutputDescriptor(int descriptor) { outputDescriptor = descriptor; }
    std::string GetOutputPath() const { return outputPath; }

    // Drops the input (the path empties, the file closes) and shows message `id` unless it is 0.
    bool FailWithMessage(std::uint32_t id);
    bool StartConversion();
    // Asks the running conversion or preview to stop after its pass in progress.
    bool RequestCancel();
    // Waits until the conversion of the last run has ended; returns at once when none runs.
    void WaitForWorker();
    bool IsBusy() const { return run != nullptr && !run->Ended(); }

    // Compression preview: opens the input and has `host` run the preview dialog over a preview
    // run; returns true once the dialog has ended, false (after a message, if any) when no
    // preview could start.
    bool RunPreview(PreviewHost& host);

    // Read-only views for the front ends and tests.
    const std::string& GetInputPath() const;
    const InputDescription& GetInput() const { return input; }
    const WAVEFORMATEX& GetInputFormat() const { return input.format; }
    std::uint64_t GetDataSize() const { return input.dataSize; }
    std::uint64_t GetDataOffset() const { return input.dataOffset; }
    int GetFormatIndex() const { return formatIndex; }
    const std::vector<FormatEntry>& GetFormats() const { return catalogue.Entries(); }
    bool IsInputOpen() const { return inputFile.IsOpen(); }
    RunOutcome GetRunOutcome() const { return LastReport().outcome; }
    // The message id of the last failed run, or 0.
    std::uint32_t GetRunMessage() const { return LastReport().message; }
    // The PCM bytes the last run read from the input: all of GetDataSize() when it read to the
    // end of a file that holds what its "data" chunk claims.
    std::uint64_t GetRunPcmBytes() const { return LastReport().pcmBytes; }
    // The float samples beyond full scale that the last run read and the codec clipped.
    std::uint64_t GetRunClippedSamples() const { return LastReport().clippedSamples; }
    // The system's error number behind the last run's failure to open or write its output, or 0.
    int GetRunOutputError() const { return LastReport().systemError; }
    // The Layer-3 bytes the last preview encoded for playback; 0 when it was cancelled or failed
    // before playback. They were played if a sound device could be opened.
    std::uint32_t GetPreviewBytes() const { return previewBytes; }

private:
    // The report of the last conversion: the ended run's, or the one taken from it.
    const RunReport& LastReport() const;
    // Takes the report of an ended run and lets the run go.
    void Settle();
    // The checks a conversion and a preview share before anything is opened.
    bool MayStartRun();
    bool OutputWouldOverwriteInput() const;
    // Opens the input and stands it on its first PCM byte; on failure message 104 drops the input.
    bool OpenInputAtData();
    void CloseInputFile();
    void ShowMessage(std::uint32_t id);

    CodecManager& codecs;
    MessagePresenter* presenter;
    std::optional<CodecIdentity> codec;

    RiffFile inputFile;
    std::string inputPath;
    InputDescription input;
    InputTags inputTags;
    TagOverrides tagOverrides;
    FormatCatalogue catalogue;
    int formatIndex = 1;
    std::int32_t writeRiff = 1;
    std::string outputPath;
    int outputDescriptor = -1;
    ProgressTarget* progressCtrl = nullptr;
    NotifyTarget* notifyWnd = nullptr;
    std::uint32_t notifyMessage = 0;

    std::unique_ptr<ConversionRun> run;
    RunReport lastReport;
    // The preview in progress, while RunPreview's dialog is up.
    PreviewRun* preview = nullptr;
    std::uint32_t previewBytes = 0;
};

} // namespace cantrix
