#pragma once
// Helpers of the sound tests: a recording of the private server's null sink made with parec, and
// a coarse analysis of what was heard (loud stretches, their level and their pitch).
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cantrix::test {

// True when the private server of pulse_session.sh answers and has its null sink.
bool NullSinkAvailable();
// True while a stream of ours plays on the server.
bool OurStreamPlays();
// The threads of this process.
std::size_t ThreadCount();

// A scratch directory under /tmp, removed with its contents.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

// parec recording the null sink's monitor into a WAV file, from Start until Stop.
class Recording {
public:
    explicit Recording(std::string path);
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Starts parec and waits until its stream is connected; false when it could not be started.
    bool Start();
    // Ends parec with SIGINT (it then completes the file) and waits for it.
    void Stop();

private:
    std::string path;
    pid_t pid = -1;
};

// A stretch of the recording louder than the noise floor.
struct LoudStretch {
    double startSeconds = 0;
    double seconds = 0;
    double rms = 0;       // full scale = 1
    double frequency = 0; // from the zero crossings of the first channel
};

// The loud stretches of a recording, in order; gaps shorter than 60 ms are bridged, since a
// recording can drop a few fragments.
std::vector<LoudStretch> FindLoudStretches(const std::string& wavPath);
double TotalLoudSeconds(const std::vector<LoudStretch>& stretches);

// A sine tone as interleaved 16-bit samples, the same on every channel.
std::vector<std::int16_t> Tone(double frequency, double seconds, int rate, int channels, double amplitude);
// Writes samples as a file of `format` (libsndfile's SF_FORMAT_* major and minor format).
bool WriteSoundFile(const std::string& path, int format, int rate, int channels,
                    const std::vector<std::int16_t>& samples);
// Encodes a WAV file to a bare Layer-3 stream with the lame command; false when that failed.
bool EncodeWithLame(const std::string& wavPath, const std::string& mp3Path, int kbps);
std::vector<unsigned char> ReadBytes(const std::string& path);

} // namespace cantrix::test
