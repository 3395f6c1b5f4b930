#pragma once
// One file of a terminal run: its output's plan, its own engine while it is converted, and the
// engine's three targets turned into plain state that the runner reads.
//
// Thread rules: Plan, Prepare, Start, Cancel and Finish run on the runner's thread. The worker
// calls the targets; they only store atomics and signal `finished`.
#include "app/headless/file_descriptor.h"
#include "app/headless/headless_options.h"
#include "app/headless/input_expansion.h"
#include "app/headless/output_relay.h"
#include "app/headless/pending_output.h"
#include "app/headless/run_outputs.h"
#include "app/headless/stdin_spool.h"
#include "engine/converter_engine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace cantrix {

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

    // Names the output and settles, from what lies under its name, whether the file is converted.
    // False: it is not, and Error(), Skipped() or NamedTwice() say why.
    bool Plan(const HeadlessOptions& options, RunOutputs& run);
    // Analyses the input (standard input is read to its end first), settles the format and opens
    // what the conversion writes through. False: `Error()` says why.
    bool Prepare(const HeadlessOptions& options, RunOutputs& run, const std::atomic<int>& stopSignal);
    bool Start();
    // Cancels the conversion, and makes an output that keeps it waiting give up. Called again while
    // the run stops, since a relay may go back to waiting.
    void Cancel();
    bool Running() const { return running; }
    bool Done() const { return done.load(); }
    // Waits for the worker and settles the result: only a finished run whose input stayed as it
    // was analysed gets its output published under the final name. Everything the conversion
    // held is let go, so that a settled job costs only its report.
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
    // The same input, named again, writes the same output: it is left to its first mention.
    bool NamedTwice() const { return namedTwice; }
    // The stream's reader closed standard output; the run stops without a message.
    bool StandardOutputClosed() const { return readerGone || (relay && relay->ReaderGone()); }

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

    bool CheckExistingOutput(const HeadlessOptions& options);
    int ChooseFormat(const HeadlessOptions& options);
    bool OpenDestination(const HeadlessOptions& options, RunOutputs& run);
    bool OpenInPlace(const HeadlessOptions& options);
    FileDescriptor OpenOutputFolder(const HeadlessOptions& options);
    void CheckInputUnchanged();
    void Publish(const HeadlessOptions& options);
    void FailOutput(std::uint32_t id, const std::string& path, const std::string& reason);

    RunInput source;
    CodecManager& codecs;
    JobSignal& signal;
    std::string input;     // the file analysed: the input's path, or standard input's copy
    std::string output;    // as planned, as the user sees it
    std::string outputDir; // the conversion directory of this file; empty: beside its input
    // An output named with --output that is a device or a FIFO (itself, or through a link of the
    // user's own or the system's) is written in place, since no name can be renamed onto it.
    bool inPlace = false;
    bool inPlaceThroughLink = false;
    bool replacesEmptyFile = false; // --skip-existing found an empty file under the output's name
    std::string formatName;
    std::string error;
    std::string warning;
    struct stat analysed {}; // the input as the analysis saw it
    std::chrono::steady_clock::time_point startedAt;
    double audioSeconds = 0;
    bool running = false;
    bool cancelled = false;
    bool skipped = false;
    bool namedTwice = false;
    bool readerGone = false;
    std::atomic<std::uint32_t> range{0};
    std::atomic<std::uint32_t> steps{0};
    std::atomic<std::uint32_t> lastMessage{0};
    std::atomic<bool> done{false};
    // What the conversion reads and writes through, declared before the engine so that they
    // outlast its worker; all of it lives only from Prepare to Finish.
    std::unique_ptr<StdinSpool> spool;
    std::unique_ptr<OutputRelay> relay;
    std::unique_ptr<PendingOutput> pending;
    FileDescriptor device;
    std::unique_ptr<ConverterEngine> engine;
};

} // namespace cantrix
