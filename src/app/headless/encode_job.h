#pragma once
// One file of a terminal run: its own engine, and the engine's three targets turned into plain
// state that the runner reads.
//
// Thread rules: Prepare, Start, Cancel and Finish run on the runner's thread. The worker calls the
// targets; they only store atomics and signal `finished`.
#include "app/headless/headless_options.h"
#include "app/headless/input_expansion.h"
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

    // Analyses the input (standard input is read to its end first) and settles the format and the
    // output path, which must not be one that another file of the run already claimed. False:
    // `Error()` says why, or the output exists and `Skipped()`.
    bool Prepare(const HeadlessOptions& options, std::set<std::string>& claimedOutputs,
                 const std::atomic<bool>& interrupted);
    bool Start();
    void Cancel() { engine.RequestCancel(); }
    bool Done() const { return done.load(); }
    // Waits for the worker and settles the result. With --skip-existing an output left incomplete
    // is removed, since its existence would mark it as converted on the next run.
    void Finish();
    void Fail(std::string reason) { error = std::move(reason); }

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
    bool Cancelled() const { return cancelled; }
    bool Skipped() const { return skipped; }
    bool IncompleteRemoved() const { return incompleteRemoved; }
    ConverterEngine& Engine() { return engine; }

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
    std::string MessageText(std::uint32_t id) const;

    RunInput source;
    JobSignal& signal;
    // Declared before the engine, so they outlast its worker, which reads the one and writes the
    // other.
    std::unique_ptr<StdinSpool> spool;
    std::unique_ptr<StandardOutputRelay> relay;
    ConverterEngine engine;
    std::string output;
    std::string formatName;
    std::string error;
    std::chrono::steady_clock::time_point startedAt;
    double audioSeconds = 0;
    bool cancelled = false;
    bool skipped = false;
    bool removeIfIncomplete = false;
    bool incompleteRemoved = false;
    std::atomic<std::uint32_t> range{0};
    std::atomic<std::uint32_t> steps{0};
    std::atomic<std::uint32_t> lastMessage{0};
    std::atomic<bool> done{false};
};

} // namespace cantrix
