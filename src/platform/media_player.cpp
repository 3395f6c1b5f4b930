#include "platform/media_player.h"

#include <chrono>

namespace cantrix {

namespace {

// Blocks of a tenth of a second: four of them keep the server fed across scheduling delays
// while memory stays small whatever the file's length.
constexpr int kBlocksPerSecond = 10;
// The playback thread wakes on every played block and on Stop; this only bounds a wait that
// nothing would end if the server stalled.
constexpr std::chrono::milliseconds kIdleWait{1000};

} // namespace

MediaPlayer::MediaPlayer() = default;

MediaPlayer::~MediaPlayer()
{
    Stop();
}

MciResult MediaPlayer::Open(const std::string& path)
{
    Stop();
    return file.Open(path);
}

MciResult MediaPlayer::Play()
{
    Stop();
    const int channels = file.Channels();
    const int rate = file.SampleRate();
    if (channels <= 0 || channels > UINT16_MAX / 2)
        return MciResult::InvalidFile;
    WAVEFORMATEX format{};
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = static_cast<std::uint16_t>(channels);
    format.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    format.nBlockAlign = static_cast<std::uint16_t>(channels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.wBitsPerSample = 16;
    blockDone.Reset();
    const MmResult opened = waveOut.Open(format, &blockDone);
    if (opened == mmresult::kWaveBadFormat)
        return MciResult::InvalidFile;
    if (opened != mmresult::kNoError)
        return MciResult::Hardware;

    blockFrames = static_cast<std::size_t>(rate / kBlocksPerSecond) + 1;
    samples.assign(kBlockCount * blockFrames * static_cast<std::size_t>(channels), 0);
    for (std::size_t i = 0; i < kBlockCount; ++i) {
        headers[i] = WAVEHDR{};
        headers[i].lpData = reinterpret_cast<const unsigned char*>(
            samples.data() + i * blockFrames * static_cast<std::size_t>(channels));
        // An unprepared block is refused by Write, which ends playback at once; nothing more to do.
        (void)waveOut.PrepareHeader(headers[i]);
    }
    stopRequested = false;
    playback = std::thread(&MediaPlayer::RunPlayback, this);
    return MciResult::NoError;
}

void MediaPlayer::RunPlayback()
{
    const std::size_t channels = static_cast<std::size_t>(file.Channels());
    const std::size_t frameBytes = channels * sizeof(std::int16_t);
    std::array<bool, kBlockCount> queued{};
    bool atEnd = false;
    for (;;) {
        for (std::size_t i = 0; i < kBlockCount && !atEnd && !stopRequested; ++i) {
            if (queued[i] && !waveOut.IsDone(headers[i]))
                continue;
            queued[i] = false;
            const std::size_t frames =
                file.ReadFrames(samples.data() + i * blockFrames * channels, blockFrames);
            headers[i].dwBufferLength = static_cast<std::uint32_t>(frames * frameBytes);
            if (frames == 0 || waveOut.Write(headers[i]) != mmresult::kNoError) {
                atEnd = true;
                break;
            }
            queued[i] = true;
        }
        if (stopRequested)
            break;
        bool playing = false;
        for (std::size_t i = 0; i < kBlockCount; ++i)
            playing = playing || (queued[i] && !waveOut.IsDone(headers[i]));
        if (atEnd && !playing)
            break;
        blockDone.Wait(kIdleWait);
    }

    if (stopRequested) {
        // Blocks still queued have not been heard (the last one may have been in part): the next
        // play starts with them.
        std::int64_t unheard = 0;
        for (std::size_t i = 0; i < kBlockCount; ++i)
            if (queued[i] && !waveOut.IsDone(headers[i]))
                unheard += headers[i].dwBufferLength / frameBytes;
        // Media control reports no failures: a device that cannot be silenced is released below.
        (void)waveOut.Reset();
        const std::int64_t position = file.Position();
        if (position >= unheard)
            file.Seek(position - unheard);
    }
    // Releasing cannot be retried, and media control reports no failures.
    for (WAVEHDR& header : headers)
        (void)waveOut.UnprepareHeader(header);
    (void)waveOut.Close();
}

void MediaPlayer::Stop()
{
    if (!playback.joinable())
        return;
    stopRequested = true;
    blockDone.Set();
    playback.join();
}

MciResult MediaPlayer::SeekToStart()
{
    Stop();
    return file.Seek(0) ? MciResult::NoError : MciResult::InvalidFile;
}

} // namespace cantrix
