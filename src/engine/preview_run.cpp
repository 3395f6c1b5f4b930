#include "engine/preview_run.h"

#include "engine/codec_pump.h"
#include "engine/conversion_stream.h"
#include "platform/string_table.h"
#include "platform/wave_output.h"

#include <algorithm>
#include <chrono>
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

// Five seconds at `bytesPerSecond`, held in the 32 bits the counts use.
std::uint32_t SliceBytes(std::uint32_t bytesPerSecond)
{
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kSliceSeconds * bytesPerSecond, std::numeric_limits<std::uint32_t>::max()));
}

// Keeps each pass's bytes in memory up to the slice's limit. Memory is bounded by the slice,
// whatever the input's length.
class SliceSink : public PumpSink {
public:
    explicit SliceSink(std::uint32_t limit) : bytes(limit) {}
    Taken Take(const unsigned char* data, std::uint32_t size) override
    {
        const auto room = static_cast<std::uint32_t>(bytes.size()) - held;
        const std::uint32_t taken = std::min(size, room);
        if (taken != 0)
            std::memcpy(bytes.data() + held, data, taken);
        held += taken;
        return held >= bytes.size() ? Taken::Full : Taken::More;
    }
    const unsigned char* Data() const { return bytes.data(); }
    std::uint32_t Held() const { return held; }

private:
    std::vector<unsigned char> bytes;
    std::uint32_t held = 0;
};

// Plays `size` bytes of `format` data and waits the slice's time, or until `cancel` is set; then
// silences and releases the device. Nothing plays when no device opens (for example when no sound
// server runs), which the preview does not report: the dialog has shown what it could.
void PlaySlice(const FormatEntry& format, const unsigned char* data, std::uint32_t size,
               AutoResetEvent& cancel, PreviewView& view)
{
    WaveOutput device;
    if (device.Open(format.format.data(), format.format.size()) != mmresult::kNoError)
        return;
    view.SetStatusText(kPlayingText);
    WAVEHDR header;
    header.lpData = data;
    header.dwBufferLength = size;
    // The cancel event is not the device's done event: the end of playback must not look like a
    // cancel, and the wait always lasts its full time unless the user cancels. A device that
    // takes nothing has nothing to wait for.
    if (device.PrepareHeader(header) == mmresult::kNoError && device.Write(header) == mmresult::kNoError)
        cancel.Wait(kPlaybackWait);
    // Closing silences and releases the device whatever these report; the slice's memory is the
    // caller's and outlives the device.
    (void)device.Reset();
    (void)device.UnprepareHeader(header);
    (void)device.Close();
}
} // namespace

PreviewRun::PreviewRun(CodecManager& codecs, RiffFile input, const InputDescription& description,
                       const FormatEntry& entry, std::string inputPath, MessagePresenter* presenter)
    : codecs(codecs), input(std::move(input)), description(description), entry(entry),
      inputPath(std::move(inputPath)), presenter(presenter)
{
}

PreviewRun::~PreviewRun()
{
    Cancel();
    Join();
}

void PreviewRun::Start(PreviewView& view)
{
    if (!Started())
        thread = std::thread([this, &view] { Body(view); });
}

void PreviewRun::Join()
{
    if (thread.joinable())
        thread.join();
}

void PreviewRun::Body(PreviewView& view)
{
    const std::uint32_t pcmLimit = SliceBytes(description.format.nAvgBytesPerSec);
    view.SetStatusText(kPreparingText);
    view.SetInputText(inputPath);
    view.SetFormatText(entry.name);
    view.SetProgressRange(PassesFor(std::min<std::uint64_t>(description.dataSize, pcmLimit)));

    SliceSink slice(SliceBytes(entry.AvgBytesPerSec()));
    bool play = false;
    {
        std::vector<unsigned char> source(kCallerBlockBytes);
        std::vector<unsigned char> encoded;
        ConversionStream stream(codecs);
        std::uint32_t failure = 0;
        if (stream.Open(description.format, entry, source.data(), encoded) != mmresult::kNoError) {
            failure = strings::kCodecFailed;
        } else {
            CodecPump pump(stream, input, description.dataSize);
            pump.SetRefillLimit(pcmLimit);
            switch (pump.Run(
                slice, [&view](std::uint32_t pass) { view.SetProgressPos(pass); }, cancel)) {
            case PumpEnd::Drained:
            case PumpEnd::Full:
            case PumpEnd::Limit:
                play = true;
                break;
            case PumpEnd::Cancelled:
                break;
            case PumpEnd::CodecFailed:
            case PumpEnd::SinkFailed:
                // Nothing of a failed pass is kept, and nothing encoded so far is played.
                failure = strings::kCodecFailed;
                break;
            case PumpEnd::ReadFailed:
                failure = strings::kInputReadFailed;
                break;
            }
        }
        report.message = failure;
        if (failure != 0 && presenter != nullptr)
            presenter->ShowMessage(failure);
    }
    // Everything the slice needs is in memory now; a failing close of a file only read loses
    // nothing.
    (void)input.Close();

    if (play) {
        report.playedBytes = slice.Held();
        PlaySlice(entry, slice.Data(), slice.Held(), cancel, view);
    }
    view.PostClose();
}

} // namespace cantrix
