// The compression preview: encodes the first seconds of the input into the chosen format, keeps
// the Layer-3 bytes in memory and plays them through wave output, which decodes them while they
// play. Nothing is written to disk.
#include "engine/conversion_stream.h"
#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "platform/wave_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace cantrix {

namespace {
constexpr const char* kPreparingText = "Status: Preparing Preview...";
constexpr const char* kPlayingText = "Status: Playing...";
// The slice: five seconds of input, and never more than five seconds of Layer-3 output.
constexpr std::uint64_t kSliceSeconds = 5;
// The slice plus half a second. Playback reports no end here, so the wait lasts this long unless
// a cancel cuts it short.
constexpr auto kPlaybackWait = std::chrono::milliseconds(5500);
// The progress bar counts passes: one per source block.
constexpr int kPassShift = 11;
constexpr std::uint32_t kBlockBytes = ConversionStream::kSourceBlockBytes;

// Five seconds at `bytesPerSecond`, held in the 32 bits the counts use.
std::uint32_t SliceBytes(std::uint32_t bytesPerSecond)
{
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kSliceSeconds * bytesPerSecond, std::numeric_limits<std::uint32_t>::max()));
}

// Plays `size` bytes of `format` data and waits the slice's time, or until `cancel` is set; then
// silences and releases the device. Nothing plays when no device opens (for example when no
// sound server runs). Returns the result of the last device call.
MmResult PlaySlice(const FormatEntry& format, const unsigned char* data, std::uint32_t size,
                   AutoResetEvent& cancel, PreviewView& view)
{
    WaveOutput device;
    const MmResult opened = device.Open(format.format.data(), format.format.size());
    if (opened != mmresult::kNoError)
        return opened;
    view.SetStatusText(kPlayingText);
    WAVEHDR header;
    header.lpData = data;
    header.dwBufferLength = size;
    device.PrepareHeader(header);
    device.Write(header);
    // The cancel event is not the device's done event: the end of playback must not look like a
    // cancel, and the wait always lasts its full time unless the user cancels.
    cancel.Wait(kPlaybackWait);
    device.Reset();
    device.UnprepareHeader(header);
    return device.Close();
}
} // namespace

bool ConverterEngine::RunPreview(PreviewHost& host)
{
    if (inputPath.empty() || workerRunning.load())
        return false;
    // Checked before anything is opened, as for a conversion: no preview starts on a catalogue
    // entry that does not exist.
    if (!HasChosenFormat()) {
        ShowMessage(strings::kRateNotSupported);
        return false;
    }
    if (!OpenInputAtData())
        return false;

    // A request left over from an earlier run must not cut this preview short. One made after the
    // worker's last look (Cancel pressed as the dialog closes) is dropped by the next start.
    cancelEvent.Reset();
    host.RunPreviewDialog(*this);
    // The worker has closed the input, unless the dialog ended before its thread could run.
    CloseInputFile();
    return true;
}

void ConverterEngine::RunPreviewWorker(PreviewView& view)
{
    previewBytes = 0;
    // RunPreview has established both; without them there is nothing to encode.
    if (formatIndex < 0 || static_cast<std::size_t>(formatIndex) >= formats.size() || !inputFile.IsOpen()) {
        CloseInputFile();
        view.PostClose();
        return;
    }
    const FormatEntry entry = formats[static_cast<std::size_t>(formatIndex)];
    const std::uint32_t pcmLimit = SliceBytes(inputFormat.nAvgBytesPerSec);
    const std::uint32_t outputLimit = SliceBytes(entry.AvgBytesPerSec());

    view.SetStatusText(kPreparingText);
    view.SetInputText(inputPath);
    view.SetFormatText(GetFormatName(static_cast<unsigned>(formatIndex)));
    view.SetProgressRange(std::min(dataSize, pcmLimit) >> kPassShift);

    {
        // Memory is bounded by the slice's Layer-3 bytes and the two conversion buffers, whatever
        // the input's length.
        std::vector<unsigned char> accumulation(outputLimit);
        std::uint32_t accumulated = 0;
        bool play = false;
        std::uint32_t failure = 0;
        {
            std::vector<unsigned char> source(kBlockBytes);
            std::vector<unsigned char> destination;
            ConversionStream stream(codecs);
            lastResult = stream.Open(inputFormat, entry, source.data(), destination);
            if (lastResult != mmresult::kNoError)
                failure = strings::kCodecFailed;

            ACMSTREAMHEADER& header = stream.Header();
            std::uint32_t remaining = dataSize;
            long lastCount = 0;
            if (failure == 0) {
                lastCount = inputFile.Read(source.data(), std::min(remaining, kBlockBytes));
                if (lastCount < 0)
                    failure = strings::kInputReadFailed;
                else
                    remaining -= static_cast<std::uint32_t>(lastCount);
                header.cbSrcLength = static_cast<std::uint32_t>(std::max(lastCount, 0L));
            }
            // PCM bytes brought in by refills; the first block does not count.
            std::uint64_t refilled = 0;
            std::uint32_t pass = 0;
            int endPasses = 0;
            while (failure == 0) {
                const std::uint32_t flags = lastCount != 0 ? kConvertBlockAlign : kConvertEnd;
                lastResult = stream.Convert(flags);
                if (lastResult != mmresult::kNoError ||
                    (flags == kConvertEnd && ++endPasses > kMaxEndPasses)) {
                    // Nothing of a failed pass is kept, and nothing encoded so far is played.
                    failure = strings::kCodecFailed;
                    break;
                }
                if (lastCount == 0 && header.cbDstLengthUsed == 0) {
                    play = true;
                    break;
                }
                const std::uint32_t taken = std::min(header.cbDstLengthUsed, outputLimit - accumulated);
                if (taken != 0)
                    std::memcpy(accumulation.data() + accumulated, destination.data(), taken);
                accumulated += taken;
                if (accumulated >= outputLimit) {
                    play = true;
                    break;
                }
                lastCount = stream.Refill(inputFile, remaining);
                if (lastCount < 0) {
                    // A read error never reaches the codec as a count.
                    failure = strings::kInputReadFailed;
                    break;
                }
                refilled += static_cast<std::uint32_t>(lastCount);
                // The block just read is not converted.
                if (refilled >= pcmLimit) {
                    play = true;
                    break;
                }
                view.SetProgressPos(pass++);
                if (cancelEvent.Wait(std::chrono::milliseconds(0)))
                    break;
            }
            if (failure != 0)
                FailWithMessage(failure);
        }
        // Everything the slice needs is in memory now.
        CloseInputFile();

        if (play) {
            previewBytes = accumulated;
            lastResult = PlaySlice(entry, accumulation.data(), accumulated, cancelEvent, view);
        }
    }
    view.PostClose();
}

} // namespace cantrix
