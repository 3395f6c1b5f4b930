#pragma once
// One file of a terminal run: its own engine, and the engine's three targets turned into plain
// state that the runner reads.
//
// Thread rules: Prepare, Start, Cancel and Finish run on the runner's thread. The worker calls the
// targets; they only store atomics and signal `finished`.
#include "app/headless/headless_options.h"
#include "engine/converter_engine.h"

#include <atomic>
#include <condition_variable>
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
    EncodeJob(std::string inputPath, CodecManager& codecs, JobSignal& signal);
    EncodeJob(const EncodeJob&) = delete;
    EncodeJob& operator=(const EncodeJob&) = delete;

    // Analyses the input and settles the format and the output path, which must not be one that
    // another file of the run already claimed. False: `Error()` says why.
    bool Prepare(const HeadlessOptions& options, std::set<std::string>& claimedOutputs);
    bool Start();
    void Cancel() { engine.RequestCancel(); }
    bool Done() const { return done.load(); }
    // Waits for the worker and settles the result.
    void Finish();
    void Fail(std::string reason) { error = std::move(reason); }

    // Fraction of the input converted so far, 0 to 1.
    double Progress() const;
    const std::string& Input() const { return input; }
    const std::string& Output() const { return output; }
    const std::string& FormatName() const { return formatName; }
    // Empty while nothing has gone wrong.
    const std::string& Error() const { return error; }
    bool Cancelled() const { return cancelled; }
    ConverterEngine& Engine() { return engine; }

private:
    void SetRange(std::uint32_t maximum) override { range = maximum; }
    void SetStep(std::uint32_t) override {}
    void StepIt() override { steps.fetch_add(1, std::memory_order_relaxed); }
    void SetPos(std::uint32_t position) override { steps = position; }
    void PostNotify(std::uint32_t message) override;
    void ShowMessage(std::uint32_t id) override { lastMessage = id; }
    void Beep(EventSound) override {}

    int ChooseFormat(const HeadlessOptions& options);
    std::string MessageText(std::uint32_t id) const;

    std::string input;
    JobSignal& signal;
    ConverterEngine engine;
    std::string output;
    std::string formatName;
    std::string error;
    bool cancelled = false;
    std::atomic<std::uint32_t> range{0};
    std::atomic<std::uint32_t> steps{0};
    std::atomic<std::uint32_t> lastMessage{0};
    std::atomic<bool> done{false};
};

} // namespace cantrix
