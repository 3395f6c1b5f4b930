#include "sound_check.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace cantrix::test {

namespace {

constexpr double kWindowSeconds = 0.01;
// Window RMS above this counts as sound: test tones play at a few tenths of full scale, and
// the null sink adds no noise of its own.
constexpr double kLoudRms = 0.03;
constexpr int kBridgedWindows = 6;
// Zero crossings count only from beyond this level on one side to beyond it on the other, so
// that coding noise around zero adds none.
constexpr float kCrossingHysteresis = 0.05f;
constexpr auto kStartTimeout = std::chrono::seconds(10);

std::string CommandOutput(const char* command)
{
    std::string output;
    FILE* pipe = popen(command, "r");
    if (!pipe)
        return output;
    char buffer[512];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    pclose(pipe);
    return output;
}

pid_t Spawn(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

bool WaitForSuccess(pid_t pid)
{
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool OurStreamPlays()
{
    std::string listing;
    if (FILE* pipe = popen("pactl list sink-inputs 2>/dev/null", "r")) {
        char buffer[512];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            listing.append(buffer, got);
        pclose(pipe);
    }
    return listing.find("application.name = \"cantrix\"") != std::string::npos;
}

bool NullSinkAvailable()
{
    return CommandOutput("pactl list short sinks 2>/dev/null").find("nullsink") != std::string::npos;
}

std::size_t ThreadCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

ScratchDir::ScratchDir()
{
    char pattern[] = "/tmp/sound_test.XXXXXX";
    if (mkdtemp(pattern))
        path = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    if (!path.empty())
        std::filesystem::remove_all(path, ignored);
}

Recording::Recording(std::string file) : path(std::move(file))
{
}

Recording::~Recording()
{
    Stop();
}

bool Recording::Start()
{
    pid = Spawn({"parec", "-d", "nullsink.monitor", "--latency-msec=50", "--file-format=wav", path});
    if (pid < 0)
        return false;
    // Recording has begun once the server lists parec's stream.
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        if (!CommandOutput("pactl list short source-outputs 2>/dev/null").empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void Recording::Stop()
{
    if (pid < 0)
        return;
    kill(pid, SIGINT);
    int status;
    waitpid(pid, &status, 0);
    pid = -1;
}

std::vector<LoudStretch> FindLoudStretches(const std::string& wavPath)
{
    std::vector<LoudStretch> stretches;
    SF_INFO info{};
    SNDFILE* file = sf_open(wavPath.c_str(), SFM_READ, &info);
    if (!file)
        return stretches;
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t frames = sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);

    const auto channels = static_cast<std::size_t>(info.channels);
    const auto window = static_cast<std::size_t>(info.samplerate * kWindowSeconds);
    const std::size_t windows = static_cast<std::size_t>(frames) / window;
    auto first = [&](std::size_t frame) { return samples[frame * channels]; };
    std::vector<bool> loud(windows);
    for (std::size_t w = 0; w < windows; ++w) {
        double sum = 0;
        for (std::size_t f = w * window; f < (w + 1) * window; ++f)
            sum += first(f) * first(f);
        loud[w] = std::sqrt(sum / static_cast<double>(window)) > kLoudRms;
    }

    std::size_t w = 0;
    while (w < windows) {
        if (!loud[w]) {
            ++w;
            continue;
        }
        // Extend over loud windows and over short gaps between them.
        std::size_t end = w + 1;
        std::size_t next = end;
        while (next < windows && next - end < static_cast<std::size_t>(kBridgedWindows)) {
            if (loud[next])
                end = next + 1;
            ++next;
        }
        double sum = 0;
        std::size_t loudWindows = 0;
        std::size_t crossings = 0;
        int sign = 0; // the side of zero last seen beyond the hysteresis, 0 = none yet
        for (std::size_t v = w; v < end; ++v) {
            if (!loud[v]) {
                sign = 0;
                continue;
            }
            ++loudWindows;
            for (std::size_t f = v * window; f < (v + 1) * window; ++f) {
                const float x = first(f);
                sum += x * x;
                const int side = x > kCrossingHysteresis ? 1 : x < -kCrossingHysteresis ? -1 : 0;
                if (side != 0 && sign != 0 && side != sign)
                    ++crossings;
                if (side != 0)
                    sign = side;
            }
        }
        LoudStretch stretch;
        stretch.startSeconds = static_cast<double>(w) * kWindowSeconds;
        stretch.seconds = static_cast<double>(loudWindows) * kWindowSeconds;
        stretch.rms = std::sqrt(sum / static_cast<double>(loudWindows * window));
        stretch.frequency = static_cast<double>(crossings) / 2.0 / stretch.seconds;
        stretches.push_back(stretch);
        w = end;
    }
    return stretches;
}

double TotalLoudSeconds(const std::vector<LoudStretch>& stretches)
{
    double total = 0;
    for (const LoudStretch& stretch : stretches)
        total += stretch.seconds;
    return total;
}

std::vector<std::int16_t> Tone(double frequency, double seconds, int rate, int channels, double amplitude)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> samples;
    samples.reserve(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f) {
        const double value = amplitude * 32767.0 *
                             std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(f) / rate);
        for (int c = 0; c < channels; ++c)
            samples.push_back(static_cast<std::int16_t>(std::lround(value)));
    }
    return samples;
}

bool WriteSoundFile(const std::string& path, int format, int rate, int channels,
                    const std::vector<std::int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool written = sf_writef_short(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

bool EncodeWithLame(const std::string& wavPath, const std::string& mp3Path, int kbps)
{
    // -t: no tag frame, a bare stream of audio frames as the codec driver produces it.
    return WaitForSuccess(Spawn({"lame", "--quiet", "-t", "-b", std::to_string(kbps), wavPath, mp3Path}));
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace cantrix::test
