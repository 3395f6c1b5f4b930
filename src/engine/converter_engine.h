#pragma once
// ConverterEngine: the one object through which the program reaches the Layer-3 codec and the
// audio files. Its operations live beside the subject they serve: codec discovery and the format
// catalogue in codec/, input analysis and the output containers in audio/, starting, cancelling
// and the conversion worker in engine/, the compression preview in preview/.
//
// Thread rules: the user-interface thread calls every operation. At most one worker runs at a
// time; while it runs the user-interface thread only reads the catalogue, the output path and the
// container choice, and calls RequestCancel, SetWriteRiff, SetOutputPath and WaitForWorker. The
// worker takes what it needs when the run starts (format, container choice, output path) and
// afterwards touches only the input file, the chunk records, `lastResult`, `cancelEvent` and, on
// an error, the input description through FailWithMessage.
// The preview thread follows the same rules; while it runs, the user-interface thread is inside
// RunPreview's modal dialog and calls only RequestCancel.
#include "engine/engine_targets.h"
#include "engine/format_entry.h"
#include "engine/preview_host.h"
#include "engine/preview_view.h"
#include "platform/auto_reset_event.h"
#include "platform/codec_manager.h"
#include "platform/riff_file.h"
#include "platform/wave_format.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace cantrix {

// How the last conversion run ended, for front ends that report per file.
enum class RunOutcome { None, Finished, Cancelled, Failed };

class ConverterEngine {
public:
    explicit ConverterEngine(CodecManager& codecs = CodecManager::Instance(),
                             MessagePresenter* presenter = nullptr);
    // Cancels a running worker and waits for it, so nothing it uses goes away under it.
    ~ConverterEngine();
    ConverterEngine(const ConverterEngine&) = delete;
    ConverterEngine& operator=(const ConverterEngine&) = delete;

    // Codec discovery (codec/codec_discovery.cpp).
    bool FindCodecDriver();
    int GetCodecEdition();
    std::string GetCodecEditionName();
    void ShowCodecAbout(DriverAboutHost* parent);

    // Input analysis (audio/input_analysis.cpp).
    bool AnalyzeInput(const std::string& path, bool probeOnly);
    unsigned GetInputChannels() const { return inputFormat.nChannels; }
    std::uint32_t GetInputSamplesPerSec() const { return inputFormat.nSamplesPerSec; }

    // Format catalogue and presets (codec/format_catalogue.cpp).
    unsigned GetFormatCount() const { return static_cast<unsigned>(formats.size()); }
    std::string GetFormatName(unsigned index) const;
    int FindLowestBitrateFormat() const;
    int FindModemFormat() const;
    int FindIsdnFormat() const;
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

    bool FailWithMessage(std::uint32_t id);
    bool StartConversion();
    bool RequestCancel();
    // Waits until the worker of the last run has ended; returns at once when none runs.
    void WaitForWorker();
    bool IsBusy() const { return workerRunning.load(); }

    // Compression preview (preview/preview_worker.cpp). RunPreview opens the input and has `host`
    // run the preview dialog, whose thread calls RunPreviewWorker; it returns true once the dialog
    // has ended, false (after a message, if any) when no preview could start.
    bool RunPreview(PreviewHost& host);
    // The preview thread's body: encodes up to five seconds, plays them, always ends with
    // view.PostClose(). Needs the input file opened and positioned by RunPreview.
    void RunPreviewWorker(PreviewView& view);

    // Read-only views for the front ends and tests.
    const std::string& GetInputPath() const { return inputPath; }
    const WAVEFORMATEX& GetInputFormat() const { return inputFormat; }
    std::uint32_t GetDataSize() const { return dataSize; }
    std::uint32_t GetDataOffset() const { return dataOffset; }
    int GetFormatIndex() const { return formatIndex; }
    const std::vector<FormatEntry>& GetFormats() const { return formats; }
    bool IsInputOpen() const { return inputFile.IsOpen(); }
    MmResult GetLastResult() const { return lastResult; }
    RunOutcome GetRunOutcome() const { return runOutcome.load(); }
    // The message id of the last failed run, or 0.
    std::uint32_t GetRunMessage() const { return runMessage.load(); }
    // The PCM bytes the last run read from the input: all of GetDataSize() when it read to the
    // end of a file that holds what its "data" chunk claims.
    std::uint32_t GetRunPcmBytes() const { return runPcmBytes.load(); }
    // The system's error number behind the last run's failure to open or write its output, or 0.
    int GetRunOutputError() const { return runOutputError.load(); }
    // The Layer-3 bytes the last preview encoded for playback; 0 when it was cancelled or failed
    // before playback. They were played if a sound device could be opened.
    std::uint32_t GetPreviewBytes() const { return previewBytes.load(); }

private:
    // What a run takes from the engine when it starts, so later changes on the user-interface
    // thread never reach it.
    struct RunSettings {
        FormatEntry destination;
        bool writeRiff = true;
        std::string outputPath;
        int outputDescriptor = -1;
        ProgressTarget* progress = nullptr;
        NotifyTarget* notify = nullptr;
        std::uint32_t notifyMessage = 0;
    };

    void RebuildFormatCatalogue();
    // Output containers (audio/output_container.cpp). The head's "fact" counts the whole input;
    // closing states the length of the `pcmBytes` that the run read, as far as the data holds them.
    void WriteContainerHead(RiffFile& output, const FormatEntry& destination);
    MmResult CloseContainer(RiffFile& output, const FormatEntry& destination, std::uint32_t pcmBytes);
    // The "fact" value for `pcmBytes` of the input: sample frames at the destination's rate.
    std::uint32_t FactSamples(std::uint32_t pcmBytes, const FormatEntry& destination) const;
    bool OutputWouldOverwriteInput() const;
    void RunConversion(const RunSettings& run);
    bool HasChosenFormat() const;
    // Opens the input and stands on its first PCM byte; on failure message 104 drops the input.
    bool OpenInputAtData();
    void CloseInputFile();
    void ShowMessage(std::uint32_t id);

    CodecManager& codecs;
    MessagePresenter* presenter;

    MMCKINFO riffChunk{};
    MMCKINFO subChunk{};
    // The output's "fact" chunk, rewritten when the container is closed.
    MMCKINFO factChunk{};
    MmResult lastResult = mmresult::kNoError;
    RiffFile inputFile;
    WAVEFORMATEX inputFormat{};
    std::uint32_t dataSize = 0;
    ProgressTarget* progressCtrl = nullptr;
    NotifyTarget* notifyWnd = nullptr;
    std::uint32_t notifyMessage = 0;
    AutoResetEvent cancelEvent;
    std::int32_t writeRiff = 1;
    int formatIndex = 1;
    std::string outputPath;
    int outputDescriptor = -1;
    std::string inputPath;
    std::uint32_t dataOffset = 0;
    HACMDRIVERID driverId = nullptr;
    int edition = -1;
    std::vector<FormatEntry> formats;

    std::thread worker;
    std::atomic<bool> workerRunning{false};
    std::atomic<RunOutcome> runOutcome{RunOutcome::None};
    std::atomic<std::uint32_t> runMessage{0};
    std::atomic<std::uint32_t> runPcmBytes{0};
    std::atomic<int> runOutputError{0};
    std::atomic<std::uint32_t> previewBytes{0};
};

} // namespace cantrix
