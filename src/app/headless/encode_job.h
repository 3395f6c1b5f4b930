#pragma once
// One file of a terminal run: its own engine, and the engine's three targets turned into plain
// state that the runner reads.
//
// Thread rules: Plan, Prepare, Start, Cancel and Finish run on the runner's thread. The worker
// calls the targets; they only store atomics and signal `finished`.
#include "app/headless/file_identity.h"
#include "app/headless/headless_options.h"
#include "app/headless/input_expansion.h"
#include "app/headless/pending_output.h"
#include "app/headless/standard_output.h"
#include "app/headless/stdin_spool.h"
#include "engine/converter_engine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>

namespace cantrix {

// What the files of one run share while they settle their outputs.
struct RunOutputs {
    std::set<FileIdentity> inputs; // every input file of the run, so that no output replaces one
    std::set<std::string> claimed; // the outputs planned so far
    LeftoverSweep leftovers;
};

// Wakes the runner when any job's worker has posted its end message.
class JobSignal {
public:
    void Notify();
    // Waits until a notification arrives or `timeout` passes; consumes all pending ones.
    void Wait(std::chrono::milliseconds timeout);

private:
    std::mutex mutex;
    std::condition_variable arrived;
    bool pending = false;
};

class EncodeJob : private ProgressTarget, private NotifyTarget, private MessagePresenter {
public:
    EncodeJob(RunInput source, CodecManager& codecs, JobSignal& signal);
    EncodeJob(const EncodeJob&) = delete;
    EncodeJob& operator=(const EncodeJob&) = delete;

    // Names the output before any file of the run starts. It must be no input of the run and no
    // output that another file of the run claimed. False: `Error()` says why.
    bool Plan(const HeadlessOptions& options, RunOutputs& run);
    // Analyses the input (standard input is read to its end first), settles the format and
    // creates the temporary file the conversion writes. False: `Error()` says why, or the output
    // exists and `Skipped()`.
    bool Prepare(const HeadlessOptions& options, RunOutputs& run, const std::atomic<int>& stopSignal);
    bool Start();
    void Cancel() { engine.RequestCancel(); }
    bool Done() const { return done.load(); }
    // Waits for the worker and settles the result: only a finished run whose input stayed as it
    // was analysed gets its output published under the final name.
    void Finish(const HeadlessOptions& options);

    // Fraction of the input converted so far, 0 to 1.
    double Progress() const;
    // The input's duration, known once it has been analysed.
    double AudioSeconds() const { return audioSeconds; }
    double ElapsedSeconds() const;
    const std::string& Input() const { return source.path; }
    const std::string& Output() const { return output; }
    const std::string& FormatName() const { return formatName; }
    // Empty while nothing has gone wrong.
    const std::string& Error() const { return error; }
    // Something the user should know about a converted file; empty when there is nothing.
    const std::string& Warning() const { return warning; }
    bool Cancelled() const { return cancelled; }
    bool Skipped() const { return skipped; }
    // The stream's reader closed standard output; the run stops without a message.
    bool StandardOutputClosed() const { return relay && relay->ReaderGone(); }

private:
    void SetRange(std::uint32_t maximum) override { range = maximum; }
    void SetStep(std::uint32_t) override {}
    void StepIt() override { steps.fetch_add(1, std::memory_order_relaxed); }
    // The engine resets the bar when a run ends; the terminal keeps showing how far it got.
    void SetPos(std::uint32_t position) override
    {
        if (position != 0)
            steps = position;
    }
    void PostNotify(std::uint32_t message) override;
    void ShowMessage(std::uint32_t id) override { lastMessage = id; }
    void Beep(EventSound) override {}

    int ChooseFormat(const HeadlessOptions& options);
    bool CreateTemporaryOutput(const HeadlessOptions& options, RunOutputs& run);
    void CheckInputUnchanged();
    void Publish(const HeadlessOptions& options);
    std::string MessageText(std::uint32_t id) const;
    // The message, then the path concerned and the system's reason.
    std::string MessageText(std::uint32_t id, const std::string& path, const std::string& reason) const;

    RunInput source;
    JobSignal& signal;
    // Declared before the engine, so they outlast its worker, which reads the one and writes the
    // other.
    std::unique_ptr<StdinSpool> spool;
    std::unique_ptr<StandardOutputRelay> relay;
    std::unique_ptr<PendingOutput> pending;
    ConverterEngine engine;
    std::string input;     // the file analysed: the input's path, or standard input's copy
    std::string output;    // as planned, as the user sees it
    std::string outputDir; // the conversion directory of this file; empty: beside its input
    std::string formatName;
    std::string error;
    std::string warning;
    struct stat analysed {}; // the input as the analysis saw it
    std::chrono::steady_clock::time_point startedAt;
    double audioSeconds = 0;
    bool cancelled = false;
    bool skipped = false;
    std::atomic<std::uint32_t> range{0};
    std::atomic<std::uint32_t> steps{0};
    std::atomic<std::uint32_t> lastMessage{0};
    std::atomic<bool> done{false};
};

} // namespace cantrix
