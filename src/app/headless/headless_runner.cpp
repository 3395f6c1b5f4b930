#include "app/headless/headless_runner.h"

#include "app/headless/encode_job.h"
#include "app/headless/input_expansion.h"
#include "app/headless/stdin_spool.h"
#include "app/headless/terminal_progress.h"
#include "platform/string_table.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace cantrix {

namespace {
// How often the runner looks at Ctrl-C and redraws the progress lines while it waits.
constexpr std::chrono::milliseconds kPollInterval(100);
// Standard input's own file, for the check that no output replaces an input.
constexpr const char* kStandardInputPath = "/proc/self/fd/0";

class SilentPresenter : public MessagePresenter {
public:
    void ShowMessage(std::uint32_t id) override { lastId = id; }
    void Beep(EventSound) override {}
    std::uint32_t lastId = 0;
};

// A folder without any .wav file is worth a note; when no folder of the run held one, the run
// fails, since the folder named was most likely not the one meant.
void ReportEmptyFolders(const ExpandedInputs& expanded, bool quiet)
{
    if (quiet && !expanded.FoldersHeldNothing())
        return;
    for (const std::string& folder : expanded.emptyFolders)
        std::fprintf(stderr, "cantrix: %s: no .wav files below this folder\n", folder.c_str());
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

int HeadlessRunner::Encode(const HeadlessOptions& options)
{
    // With the stream on standard output, everything else goes to standard error.
    std::FILE* report = options.output == kStandardStream ? stderr : stdout;
    const ExpandedInputs expanded = ExpandInputs(options.inputs);
    ReportEmptyFolders(expanded, options.quiet);

    JobSignal signal;
    RunOutputs outputs;
    std::vector<std::unique_ptr<EncodeJob>> jobs;
    for (const RunInput& file : expanded.files) {
        jobs.push_back(std::make_unique<EncodeJob>(file, codecs, signal));
        if (const auto identity = IdentifyFile(file.path == kStandardStream ? kStandardInputPath : file.path))
            outputs.inputs.insert(*identity);
    }
    // Every output is named before any file starts, so that none replaces an input of the run.
    for (const auto& job : jobs)
        job->Plan(options, outputs);

    const auto startedAt = std::chrono::steady_clock::now();
    const bool live = !options.quiet && isatty(fileno(stderr)) != 0;
    TerminalProgress progress(stderr);
    std::vector<EncodeJob*> running;
    std::size_t next = 0;
    bool stopping = false;

    for (;;) {
        if (stopSignal.load() != 0 && !stopping) {
            stopping = true;
            for (EncodeJob* job : running)
                job->Cancel();
        }
        for (EncodeJob* job : running) {
            if (job->StandardOutputClosed())
                job->Cancel();
        }
        while (!stopping && running.size() < options.jobs && next < jobs.size()) {
            EncodeJob& job = *jobs[next++];
            if (job.Prepare(options, outputs, stopSignal) && job.Start())
                running.push_back(&job);
        }
        std::erase_if(running, [&options](EncodeJob* job) {
            if (!job->Done())
                return false;
            job->Finish(options);
            return true;
        });
        if (running.empty() && (stopping || next == jobs.size()))
            break;
        signal.Wait(kPollInterval);
        if (live) {
            std::vector<TerminalProgress::Line> lines;
            for (EncodeJob* job : running)
                lines.push_back(
                    {BaseName(job->Input()), job->Progress(), job->AudioSeconds(), job->ElapsedSeconds()});
            progress.Draw(lines);
        }
    }
    if (live)
        progress.Clear();

    bool anyFailed = false;
    bool readerGone = false;
    std::size_t converted = 0;
    double convertedSeconds = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const EncodeJob& job = *jobs[i];
        const char* input = job.Input().c_str();
        const char* output = job.Output().c_str();
        if (i >= next && job.Error().empty()) {
            std::fprintf(stderr, "cantrix: %s: not converted (interrupted)\n", input);
            anyFailed = true;
        } else if (!job.Error().empty()) {
            std::fprintf(stderr, "cantrix: %s: %s\n", input, job.Error().c_str());
            anyFailed = true;
        } else if (job.StandardOutputClosed()) {
            readerGone = true;
        } else if (job.Cancelled()) {
            if (job.Output() == kStandardStream)
                std::fprintf(stderr, "cantrix: %s: cancelled; standard output holds what was converted\n",
                             input);
            else
                std::fprintf(stderr, "cantrix: %s: cancelled; nothing was written to %s\n", input, output);
            anyFailed = true;
        } else if (job.Skipped()) {
            if (!options.quiet)
                std::fprintf(report, "%s -> %s (exists, skipped)\n", input, output);
        } else {
            ++converted;
            convertedSeconds += job.AudioSeconds();
            if (!job.Warning().empty())
                std::fprintf(stderr, "cantrix: %s: %s\n", input, job.Warning().c_str());
            if (!options.quiet)
                std::fprintf(report, "%s -> %s (%s)\n", input, output, job.FormatName().c_str());
        }
    }
    if (converted > 1 && !options.quiet) {
        const double wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
        std::fprintf(report, "%zu files converted: %s of audio in %s\n", converted,
                     FormatDuration(convertedSeconds).c_str(), FormatDuration(wallSeconds).c_str());
    }
    if (expanded.alreadyEncoded > 0 && !options.quiet)
        std::fprintf(report, "%zu already encoded: Layer-3 files in the folders, left out\n",
                     expanded.alreadyEncoded);
    std::fflush(report);
    if (stopSignal.load() != 0)
        return 128 + stopSignal.load();
    if (readerGone)
        return 128 + SIGPIPE;
    return anyFailed || expanded.FoldersHeldNothing() ? 1 : 0;
}

int HeadlessRunner::ListFormats(const HeadlessOptions& options)
{
    bool anyFailed = false;
    const ExpandedInputs expanded = ExpandInputs(options.inputs);
    for (const RunInput& file : expanded.files) {
        const char* input = file.path.c_str();
        std::string problem = file.error;
        StdinSpool spool;
        std::string path = file.path;
        if (problem.empty() && path == kStandardStream && spool.Fill(stopSignal, problem))
            path = spool.Path();
        SilentPresenter presenter;
        ConverterEngine engine(codecs, &presenter);
        if (problem.empty() && !engine.AnalyzeInput(path, false)) {
            problem = LoadString(presenter.lastId);
            std::replace(problem.begin(), problem.end(), '\n', ' ');
        }
        if (!problem.empty()) {
            std::fprintf(stderr, "cantrix: %s: %s\n", input, problem.c_str());
            anyFailed = true;
            continue;
        }
        std::printf("%s: %u Hz %s, %u bit\n", input, engine.GetInputSamplesPerSec(),
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
    ReportEmptyFolders(expanded, false);
    std::fflush(stdout);
    return anyFailed || expanded.FoldersHeldNothing() ? 1 : 0;
}

} // namespace cantrix
