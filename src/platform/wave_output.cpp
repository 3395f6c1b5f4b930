#include "platform/wave_output.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <pulse/channelmap.h>
#include <pulse/sample.h>

namespace cantrix {

namespace {

// The sampling rates of MPEG-1, MPEG-2 and MPEG-2.5 Layer-3.
constexpr std::array<std::uint32_t, 9> kMpegRates = {8000,  11025, 12000, 16000, 22050,
                                                     24000, 32000, 44100, 48000};
// Layer-3 bytes handed to the decoder at a time: a few frames, so that decoding keeps pace with
// what the server asks for instead of decoding a whole header at once.
constexpr std::size_t kFeedBytes = 4096;

} // namespace

WaveOutput::WaveOutput() = default;

WaveOutput::~WaveOutput()
{
    // An owner that cares how the device went calls Close itself.
    if (IsOpen())
        (void)Close();
}

MmResult WaveOutput::CheckFormat(const unsigned char* format, std::size_t formatSize, pa_sample_spec& spec)
{
    WAVEFORMATEX header;
    if (!format || formatSize < sizeof header)
        return mmresult::kWaveBadFormat;
    std::memcpy(&header, format, sizeof header);
    if (header.nChannels == 0 || header.nChannels > PA_CHANNELS_MAX)
        return mmresult::kWaveBadFormat;
    spec.channels = static_cast<std::uint8_t>(header.nChannels);
    spec.rate = header.nSamplesPerSec;

    if (header.wFormatTag == kWaveFormatPcm) {
        switch (header.wBitsPerSample) {
        case 8:
            spec.format = PA_SAMPLE_U8;
            break;
        case 16:
            spec.format = PA_SAMPLE_S16LE;
            break;
        case 24:
            spec.format = PA_SAMPLE_S24LE;
            break;
        case 32:
            spec.format = PA_SAMPLE_S32LE;
            break;
        default:
            return mmresult::kWaveBadFormat;
        }
        if (header.nBlockAlign != header.nChannels * (header.wBitsPerSample / 8) ||
            !pa_sample_spec_valid(&spec))
            return mmresult::kWaveBadFormat;
        encoding = Encoding::Pcm;
        return mmresult::kNoError;
    }

    if (header.wFormatTag == kWaveFormatMpegLayer3) {
        MPEGLAYER3WAVEFORMAT layer3;
        if (formatSize < sizeof layer3 || header.cbSize < kMpegLayer3CbSize || header.nChannels > 2 ||
            std::find(kMpegRates.begin(), kMpegRates.end(), header.nSamplesPerSec) == kMpegRates.end())
            return mmresult::kWaveBadFormat;
        spec.format = PA_SAMPLE_S16NE;
        encoding = Encoding::Layer3;
        std::memcpy(&layer3, format, sizeof layer3);
        codecDelay = layer3.nCodecDelay;
        return mmresult::kNoError;
    }
    return mmresult::kWaveBadFormat;
}

MmResult WaveOutput::Open(const WAVEFORMATEX& format, AutoResetEvent* event)
{
    return Open(reinterpret_cast<const unsigned char*>(&format), sizeof format, event);
}

MmResult WaveOutput::Open(const unsigned char* format, std::size_t formatSize, AutoResetEvent* event)
{
    if (IsOpen())
        return mmresult::kError;
    pa_sample_spec spec;
    const MmResult formatResult = CheckFormat(format, formatSize, spec);
    if (formatResult != mmresult::kNoError)
        return formatResult;
    // Only Layer-3 data ever reaches the decoder: fed PCM, it would find false frame syncs and
    // play noise.
    // The format record states the encoder's delay; playback starts with the first sample of the
    // audio, as it does from a file whose tag frame tells the decoder the delay.
    if (encoding == Encoding::Layer3 &&
        !decoder.Open(static_cast<long>(spec.rate), spec.channels, codecDelay + MpegDecoder::kSynthesisDelay))
        return mmresult::kWaveBadFormat;

    pa_channel_map map;
    pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX);
    frameBytes = pa_frame_size(&spec);
    doneEvent = event;
    queue.clear();
    finishing.clear();
    staging.clear();
    frontOffset = 0;
    failed = false;
    const MmResult result = connection.Open(spec, map, *this);
    if (result != mmresult::kNoError) {
        decoder.Close();
        doneEvent = nullptr;
    }
    return result;
}

MmResult WaveOutput::PrepareHeader(WAVEHDR& header)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    PulseConnection::Lock lock(connection);
    if (header.dwFlags & kWaveHeaderInQueue)
        return mmresult::kWaveStillPlaying;
    if (!header.lpData && header.dwBufferLength > 0)
        return mmresult::kInvalidParam;
    header.dwFlags |= kWaveHeaderPrepared;
    return mmresult::kNoError;
}

MmResult WaveOutput::Write(WAVEHDR& header)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    PulseConnection::Lock lock(connection);
    if (!(header.dwFlags & kWaveHeaderPrepared))
        return mmresult::kWaveUnprepared;
    if (header.dwFlags & kWaveHeaderInQueue)
        return mmresult::kWaveStillPlaying;
    if (failed)
        return mmresult::kError;
    // Headers waiting for the end of playback are no longer the end: more follows them.
    connection.CancelDrain();
    for (WAVEHDR* earlier : finishing)
        MarkDoneLocked(*earlier, true);
    finishing.clear();

    header.dwFlags = (header.dwFlags & ~kWaveHeaderDone) | kWaveHeaderInQueue;
    queue.push_back(&header);
    FillLocked();
    return mmresult::kNoError;
}

bool WaveOutput::IsDone(const WAVEHDR& header)
{
    if (!IsOpen())
        return (header.dwFlags & kWaveHeaderDone) != 0;
    PulseConnection::Lock lock(connection);
    return (header.dwFlags & kWaveHeaderDone) != 0;
}

MmResult WaveOutput::Reset()
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    PulseConnection::Lock lock(connection);
    // The queue is emptied before the flush: the flush waits on the loop thread, which meanwhile
    // may ask for data and must find none.
    DropQueueLocked();
    if (encoding == Encoding::Layer3)
        decoder.Restart();
    connection.Flush();
    return mmresult::kNoError;
}

MmResult WaveOutput::UnprepareHeader(WAVEHDR& header)
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    PulseConnection::Lock lock(connection);
    if (header.dwFlags & kWaveHeaderInQueue)
        return mmresult::kWaveStillPlaying;
    header.dwFlags &= ~kWaveHeaderPrepared;
    return mmresult::kNoError;
}

MmResult WaveOutput::Close()
{
    if (!IsOpen())
        return mmresult::kInvalidHandle;
    {
        PulseConnection::Lock lock(connection);
        DropQueueLocked();
    }
    // Disconnecting the stream removes it from the sink at once, so no flush is needed.
    connection.Close();
    decoder.Close();
    doneEvent = nullptr;
    return mmresult::kNoError;
}

void WaveOutput::FillLocked()
{
    if (failed)
        return;
    std::size_t room = connection.WritableSize();
    for (;;) {
        room -= room % frameBytes;
        const std::size_t ready = staging.size() - staging.size() % frameBytes;
        if (ready > 0) {
            if (room == 0)
                return;
            const std::size_t bytes = std::min(ready, room);
            if (!connection.Write(staging.data(), bytes))
                return;
            staging.erase(staging.begin(), staging.begin() + static_cast<std::ptrdiff_t>(bytes));
            room -= bytes;
            continue;
        }
        if (queue.empty())
            break;
        if (room == 0)
            return;
        ProduceLocked(room);
    }
    // Everything queued has gone to the server; a partial frame left in staging cannot play on
    // its own and waits for the next header.
    if (!finishing.empty())
        connection.StartDrain();
}

void WaveOutput::ProduceLocked(std::size_t limit)
{
    WAVEHDR& header = *queue.front();
    const std::size_t left = header.dwBufferLength - frontOffset;
    const unsigned char* next = header.lpData + frontOffset;
    if (encoding == Encoding::Pcm) {
        const std::size_t bytes = std::min(left, limit);
        staging.insert(staging.end(), next, next + bytes);
        frontOffset += bytes;
        if (frontOffset == header.dwBufferLength)
            FinishFrontLocked();
        return;
    }

    const std::size_t kept = staging.size();
    staging.resize(kept + limit);
    std::size_t got = 0;
    const MpegDecoder::Status status = decoder.Read(staging.data() + kept, limit, got);
    staging.resize(kept + got);
    if (status == MpegDecoder::Status::Data)
        return;
    if (status == MpegDecoder::Status::NeedMore) {
        if (left == 0) {
            FinishFrontLocked();
            return;
        }
        const std::size_t bytes = std::min(left, kFeedBytes);
        if (decoder.Feed(next, bytes)) {
            frontOffset += bytes;
            return;
        }
    }
    // The decoder cannot go on with this header: drop its rest and start clean for the next one.
    decoder.Restart();
    FinishFrontLocked();
}

void WaveOutput::FinishFrontLocked()
{
    WAVEHDR* header = queue.front();
    queue.pop_front();
    frontOffset = 0;
    if (queue.empty())
        finishing.push_back(header);
    else
        MarkDoneLocked(*header, true);
}

void WaveOutput::MarkDoneLocked(WAVEHDR& header, bool signal)
{
    header.dwFlags = (header.dwFlags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
    if (signal && doneEvent)
        doneEvent->Set();
}

void WaveOutput::DropQueueLocked()
{
    connection.CancelDrain();
    for (WAVEHDR* header : queue)
        MarkDoneLocked(*header, false);
    for (WAVEHDR* header : finishing)
        MarkDoneLocked(*header, false);
    queue.clear();
    finishing.clear();
    staging.clear();
    frontOffset = 0;
}

void WaveOutput::OnWritable()
{
    FillLocked();
}

void WaveOutput::OnDrained()
{
    for (WAVEHDR* header : finishing)
        MarkDoneLocked(*header, true);
    finishing.clear();
}

void WaveOutput::OnFailed()
{
    failed = true;
    connection.CancelDrain();
    for (WAVEHDR* header : queue)
        MarkDoneLocked(*header, true);
    for (WAVEHDR* header : finishing)
        MarkDoneLocked(*header, true);
    queue.clear();
    finishing.clear();
    staging.clear();
    frontOffset = 0;
}

} // namespace cantrix
