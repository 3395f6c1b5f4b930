#pragma once
// One opened media control device: a sound file and the thread that plays it through wave
// output, decoding block by block so that a file of any length needs only a few blocks of memory.
//
// Thread rules: the owner's thread calls the operations. While playback runs, the playback thread
// owns the file, the wave output and the blocks; the owner touches them again only after Stop has
// joined it.
#include "platform/auto_reset_event.h"
#include "platform/mci_result.h"
#include "platform/sound_file.h"
#include "platform/wave_output.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace cantrix {

class MediaPlayer {
public:
    MediaPlayer();
    // Stops playback and closes the file.
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    MciResult Open(const std::string& path);
    // Plays from the current position in the background; at the end of the file playback stops
    // and the position stays at the end. Hardware when no sound device can be opened.
    MciResult Play();
    // Silent when it returns; the position stays about where playback was.
    void Stop();
    MciResult SeekToStart();

private:
    static constexpr std::size_t kBlockCount = 4;

    void RunPlayback();

    SoundFile file;
    WaveOutput waveOut;
    AutoResetEvent blockDone; // set by the wave output for each played block, and by Stop
    std::atomic<bool> stopRequested{false};
    std::vector<std::int16_t> samples;
    std::size_t blockFrames = 0;
    std::array<WAVEHDR, kBlockCount> headers{};
    std::thread playback;
};

} // namespace cantrix
