#pragma once
// Wave output: the one place where the program talks to the sound server. It is shaped after the
// multimedia system's wave output calls (open, prepare header, write, reset, unprepare header,
// close) and accepts integer PCM and the Layer-3 format, which it decodes while it plays.
//
// Thread rules: one thread at a time calls the operations (the owner). Playback runs on a thread
// of the object's own that never outlives Close. While a header is queued that thread owns its
// flags: read them through IsDone, never directly, until the header is done.
#include "platform/auto_reset_event.h"
#include "platform/mm_result.h"
#include "platform/mpeg_decoder.h"
#include "platform/pulse_connection.h"
#include "platform/wave_format.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace cantrix {

namespace mmresult {
// The wave output's own result codes, numbered as the multimedia system numbers them.
constexpr MmResult kWaveBadFormat = 32;
constexpr MmResult kWaveStillPlaying = 33;
constexpr MmResult kWaveUnprepared = 34;
} // namespace mmresult

// The published WAVEHDR fields that playback uses. The caller owns the header and its data, and
// keeps both alive and unchanged from Write until the header is done.
struct WAVEHDR {
    const unsigned char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwFlags = 0;
};

constexpr std::uint32_t kWaveHeaderDone = 0x00000001;     // WHDR_DONE
constexpr std::uint32_t kWaveHeaderPrepared = 0x00000002; // WHDR_PREPARED
constexpr std::uint32_t kWaveHeaderInQueue = 0x00000010;  // WHDR_INQUEUE

class WaveOutput : private PulseListener {
public:
    WaveOutput();
    // Closes the device: whatever is queued stops at once.
    ~WaveOutput();
    WaveOutput(const WaveOutput&) = delete;
    WaveOutput& operator=(const WaveOutput&) = delete;

    // Opens the default sound device for `format`: `formatSize` bytes holding a WAVEFORMATEX and
    // the extra bytes its cbSize announces. Accepted: PCM (tag 1) with 8, 16, 24 or 32 bits, and
    // Layer-3 (tag 0x0055, the 30-byte MPEGLAYER3WAVEFORMAT) with 1 or 2 channels at an MPEG rate.
    // Returns kWaveBadFormat for any other format, kBadDeviceId or kError when no sound device can
    // be opened (at once when no sound server runs), kNoError when open.
    // `doneEvent` (optional, must outlive the device) is set each time a header finishes playing,
    // not when Reset or Close drops it.
    [[nodiscard]] MmResult Open(const unsigned char* format, std::size_t formatSize,
                                AutoResetEvent* doneEvent = nullptr);
    [[nodiscard]] MmResult Open(const WAVEFORMATEX& format, AutoResetEvent* doneEvent = nullptr);
    bool IsOpen() const { return connection.IsOpen(); }

    [[nodiscard]] MmResult PrepareHeader(WAVEHDR& header);
    // Queues a prepared header and returns at once; playback goes on in the background. Headers
    // play one after the other as one stream. A header is done when playback no longer needs its
    // data; the last queued header is done only when it has been heard to its end.
    [[nodiscard]] MmResult Write(WAVEHDR& header);
    bool IsDone(const WAVEHDR& header);
    // Silences the device at once and marks every queued header done. The device stays open.
    [[nodiscard]] MmResult Reset();
    [[nodiscard]] MmResult UnprepareHeader(WAVEHDR& header);
    // Resets, then releases the device; its thread has ended when Close returns.
    [[nodiscard]] MmResult Close();

private:
    enum class Encoding { Pcm, Layer3 };

    MmResult CheckFormat(const unsigned char* format, std::size_t formatSize, pa_sample_spec& spec);
    void FillLocked();
    void ProduceLocked(std::size_t limit);
    void FinishFrontLocked();
    void MarkDoneLocked(WAVEHDR& header, bool signal);
    void DropQueueLocked();

    void OnWritable() override;
    void OnDrained() override;
    void OnFailed() override;

    PulseConnection connection;
    MpegDecoder decoder;
    Encoding encoding = Encoding::Pcm;
    std::uint16_t codecDelay = 0; // of a Layer-3 format, in samples
    std::size_t frameBytes = 0;
    AutoResetEvent* doneEvent = nullptr;

    // Playback state, under the connection's lock once the device is open.
    std::deque<WAVEHDR*> queue;         // written, not yet used up; the front one plays
    std::size_t frontOffset = 0;        // bytes of the front header already used
    std::vector<WAVEHDR*> finishing;    // used up with nothing behind them: done once drained
    std::vector<unsigned char> staging; // PCM waiting for the server, possibly a partial frame
    bool failed = false;
};

} // namespace cantrix
