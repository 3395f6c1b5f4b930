#include "app/headless/headless_runner.h"

#include "app/headless/encode_job.h"
#include "app/headless/input_expansion.h"
#include "app/headless/standard_output.h"
#include "app/headless/stdin_spool.h"
#include "app/headless/terminal_progress.h"
#include "platform/string_table.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <unistd.h>
#include <vector>

namespace cantrix {

namespace {
// How often the runner looks at Ctrl-C and redraws the progress lines while it waits.
constexpr std::chrono::milliseconds kPollInterval(100);
// Jobs settled but not yet reported wait for the ones before them, so that the report follows the
// order of the inputs. Each costs only its lines; past this many, no file starts until the oldest
// has settled (a long file then holds the small ones back, and it alone uses every core anyway).
constexpr std::size_t kMaxWaitingJobs = 256;

class SilentPresenter : public MessagePresenter {
public:
    void ShowMessage(std::uint32_t id) override { lastId = id; }
    void Beep(EventSound) override {}
    std::uint32_t lastId = 0;
};

// A folder without any .wav file is worth a note; when no folder of the run held one, the run
// fails, since the folder named was most likely not the one meant.
void ReportEmptyFolders(const std::vector<std::string>& folders, bool failing, bool quiet)
{
    if (quiet && !failing)
        return;
    for (const std::string& folder : folders)
        std::fprintf(stderr, "cantrix: %s: no .wav files below this folder\n", folder.c_str());
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the report of a run adds up as its files settle.
struct Tally {
    std::size_t converted = 0;
    double convertedSeconds = 0;
    bool anyFailed = false;
    bool readerGone = false;
};

// The line (or lines) of one settled file.
void ReportFile(const EncodeJob& job, const HeadlessOptions& options, std::FILE* report, Tally& tally)
{
    const char* input = job.Input().c_str();
    const char* output = job.Output().c_str();
    if (!job.Error().empty()) {
        std::fprintf(stderr, "cantrix: %s: %s\n", input, job.Error().c_str());
        tally.anyFailed = true;
    } else if (job.StandardOutputClosed()) {
        tally.readerGone = true;
    } else if (job.Cancelled()) {
        if (job.Output() == kStandardStream)
            std::fprintf(stderr, "cantrix: %s: cancelled; standard output holds what was converted\n", input);
        else
            std::fprintf(stderr, "cantrix: %s: cancelled; nothing was written to %s\n", input, output);
        tally.anyFailed = true;
    } else if (job.Skipped() || job.NamedTwice()) {
        if (!options.quiet)
            std::fprintf(report, "%s -> %s (%s)\n", input, output,
                         job.Skipped() ? "exists, skipped" : "named twice, left to its first mention");
    } else {
        ++tally.converted;
        tally.convertedSeconds += job.AudioSeconds();
        if (!job.Warning().empty())
            std::fprintf(stderr, "cantrix: %s: %s\n", input, job.Warning().c_str());
        if (!options.quiet)
            std::fprintf(report, "%s -> %s (%s)\n", input, output, job.FormatName().c_str());
    }
}
} // namespace

int HeadlessRunner::Encode(const HeadlessOptions& options)
{
    // With the stream on standard output, everything else goes to standard error.
    std::FILE* report = options.output == kStandardStream ? stderr : stdout;
    // Every input is known before any file starts, so that none is replaced by an output.
    RunOutputs outputs;
    outputs.Survey(options);
    ReportEmptyFolders(outputs.EmptyFolders(), outputs.FoldersHeldNothing(), options.quiet);

    const auto startedAt = std::chrono::steady_clock::now();
    const bool live = !options.quiet && isatty(fileno(stderr)) != 0;
    TerminalProgress progress(stderr);
    JobSignal signal;
    InputWalk walk(options.inputs, true);
    std::deque<std::unique_ptr<EncodeJob>> waiting; // in the inputs' order, not reported yet
    std::size_t running = 0;
    bool walked = false;
    bool stopping = false;
    Tally tally;

    for (;;) {
        bool moved = false;
        stopping = stopping || stopSignal.load() != 0;
        for (const auto& job : waiting) {
            if (!job->Running())
                continue;
            if (stopping || job->StandardOutputClosed())
                job->Cancel();
            if (job->Done()) {
                job->Finish(options);
                --running;
                moved = true;
            }
        }
        while (!waiting.empty() && !waiting.front()->Running()) {
            ReportFile(*waiting.front(), options, report, tally);
            waiting.pop_front();
            moved = true;
        }
        while (!stopping && !walked && running < options.jobs && waiting.size() < kMaxWaitingJobs) {
            RunInput file;
            if (!walk.Next(file)) {
                walked = true;
                break;
            }
            auto job = std::make_unique<EncodeJob>(std::move(file), codecs, signal);
            if (job->Plan(options, outputs) && job->Prepare(options, outputs, stopSignal) && job->Start())
                ++running;
            waiting.push_back(std::move(job));
            moved = true;
        }
        if (waiting.empty() && (stopping || walked))
            break;
        // A file that settled or started may let the next one start at once.
        if (moved)
            continue;
        signal.Wait(kPollInterval);
        if (live) {
            std::vector<TerminalProgress::Line> lines;
            for (const auto& job : waiting) {
                if (job->Running())
                    lines.push_back({BaseName(job->Input()), job->Progress(), job->AudioSeconds(),
                                     job->ElapsedSeconds()});
            }
            progress.Draw(lines);
        }
    }
    if (live)
        progress.Clear();
    // The files a stop left unstarted.
    for (RunInput file; stopping && walk.Next(file); tally.anyFailed = true) {
        if (file.error.empty())
            std::fprintf(stderr, "cantrix: %s: not converted (interrupted)\n", file.path.c_str());
        else
            std::fprintf(stderr, "cantrix: %s: %s\n", file.path.c_str(), file.error.c_str());
    }

    if (tally.converted > 1 && !options.quiet) {
        const double wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
        std::fprintf(report, "%zu files converted: %s of audio in %s\n", tally.converted,
                     FormatDuration(tally.convertedSeconds).c_str(), FormatDuration(wallSeconds).c_str());
    }
    if (walk.AlreadyEncoded() > 0 && !options.quiet)
        std::fprintf(report, "%zu already encoded: Layer-3 files in the folders, left out\n",
                     walk.AlreadyEncoded());
    std::fflush(report);
    if (stopSignal.load() != 0)
        return 128 + stopSignal.load();
    if (tally.readerGone)
        return 128 + SIGPIPE;
    return tally.anyFailed || outputs.FoldersHeldNothing() ? 1 : 0;
}

int HeadlessRunner::ListFormats(const HeadlessOptions& options)
{
    bool anyFailed = false;
    InputWalk walk(options.inputs, true);
    for (RunInput file; walk.Next(file);) {
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
    ReportEmptyFolders(walk.EmptyFolders(), walk.FoldersHeldNothing(), false);
    std::fflush(stdout);
    return anyFailed || walk.FoldersHeldNothing() ? 1 : 0;
}

} // namespace cantrix
