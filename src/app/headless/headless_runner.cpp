#include "app/headless/headless_runner.h"

#include "app/headless/encode_job.h"
#include "app/headless/terminal_progress.h"
#include "platform/string_table.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace cantrix {

namespace {
// How often the runner looks at Ctrl-C and redraws the progress lines while it waits.
constexpr std::chrono::milliseconds kPollInterval(100);
constexpr int kInterruptedStatus = 130;

class SilentPresenter : public MessagePresenter {
public:
    void ShowMessage(std::uint32_t id) override { lastId = id; }
    void Beep(EventSound) override {}
    std::uint32_t lastId = 0;
};

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

int HeadlessRunner::Encode(const HeadlessOptions& options)
{
    JobSignal signal;
    std::vector<std::unique_ptr<EncodeJob>> jobs;
    for (const std::string& input : options.inputs)
        jobs.push_back(std::make_unique<EncodeJob>(input, codecs, signal));

    const bool live = !options.quiet && isatty(fileno(stderr)) != 0;
    TerminalProgress progress(stderr);
    std::set<std::string> claimedOutputs;
    std::vector<EncodeJob*> running;
    std::size_t next = 0;
    bool stopping = false;

    for (;;) {
        if (interrupted.load() && !stopping) {
            stopping = true;
            for (EncodeJob* job : running)
                job->Cancel();
        }
        while (!stopping && running.size() < options.jobs && next < jobs.size()) {
            EncodeJob& job = *jobs[next++];
            if (job.Prepare(options, claimedOutputs) && job.Start())
                running.push_back(&job);
        }
        std::erase_if(running, [](EncodeJob* job) {
            if (!job->Done())
                return false;
            job->Finish();
            return true;
        });
        if (running.empty() && (stopping || next == jobs.size()))
            break;
        signal.Wait(kPollInterval);
        if (live) {
            std::vector<TerminalProgress::Line> lines;
            for (EncodeJob* job : running)
                lines.push_back({BaseName(job->Input()), job->Progress()});
            progress.Draw(lines);
        }
    }
    if (live)
        progress.Clear();

    bool anyFailed = false;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const EncodeJob& job = *jobs[i];
        if (i >= next) {
            std::fprintf(stderr, "cantrix: %s: not converted (interrupted)\n", job.Input().c_str());
            anyFailed = true;
        } else if (!job.Error().empty()) {
            std::fprintf(stderr, "cantrix: %s: %s\n", job.Input().c_str(), job.Error().c_str());
            anyFailed = true;
        } else if (job.Cancelled()) {
            std::fprintf(stderr, "cantrix: %s: cancelled; %s holds what was converted\n", job.Input().c_str(),
                         job.Output().c_str());
            anyFailed = true;
        } else if (!options.quiet) {
            std::printf("%s -> %s (%s)\n", job.Input().c_str(), job.Output().c_str(),
                        job.FormatName().c_str());
        }
    }
    std::fflush(stdout);
    if (interrupted.load())
        return kInterruptedStatus;
    return anyFailed ? 1 : 0;
}

int HeadlessRunner::ListFormats(const HeadlessOptions& options)
{
    bool anyFailed = false;
    for (const std::string& input : options.inputs) {
        SilentPresenter presenter;
        ConverterEngine engine(codecs, &presenter);
        if (!engine.AnalyzeInput(input, false)) {
            std::string text = LoadString(presenter.lastId);
            std::replace(text.begin(), text.end(), '\n', ' ');
            std::fprintf(stderr, "cantrix: %s: %s\n", input.c_str(), text.c_str());
            anyFailed = true;
            continue;
        }
        std::printf("%s: %u Hz %s, %u bit\n", input.c_str(), engine.GetInputSamplesPerSec(),
                    engine.GetInputChannels() == 2 ? "Stereo" : "Mono",
                    engine.GetInputFormat().wBitsPerSample);
        if (engine.GetFormatCount() == 0) {
            std::printf("  %s\n", LoadString(strings::kRateNotSupported).c_str());
            continue;
        }
        std::printf("  index  kbit/s  description\n");
        for (unsigned i = 0; i < engine.GetFormatCount(); ++i) {
            const unsigned kbits = engine.GetFormats()[i].AvgBytesPerSec() * 8 / 1000;
            std::printf("  %5u  %6u  %s\n", i, kbits, engine.GetFormatName(i).c_str());
        }
        std::printf("  presets: lowest %d, modem %d, isdn %d\n", engine.FindLowestBitrateFormat(),
                    engine.FindModemFormat(), engine.FindIsdnFormat());
    }
    std::fflush(stdout);
    return anyFailed ? 1 : 0;
}

} // namespace cantrix
