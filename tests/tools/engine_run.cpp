// Converts one file the way the window does (the engine writes the output in place), for scripts
// that compare outputs across versions of the program:
//     engine_run INPUT OUTPUT "FORMAT DESCRIPTION" raw|riff [CANCEL_AFTER_PASSES]
// With CANCEL_AFTER_PASSES the run is cancelled right after that pass, at the same pass every time.
#include "drivers/built_in_drivers.h"
#include "engine/converter_engine.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

// Holds the worker inside the chosen pass until the main thread has asked for the cancel, so the
// run ends after exactly that pass.
class PassGate : public cantrix::ProgressTarget, public cantrix::NotifyTarget {
public:
    explicit PassGate(std::uint32_t cancelAfter) : cancelAfter(cancelAfter) {}
    void SetRange(std::uint32_t) override {}
    void SetStep(std::uint32_t) override {}
    void SetPos(std::uint32_t) override {}
    void StepIt() override
    {
        std::unique_lock lock(mutex);
        if (++passes != cancelAfter)
            return;
        reached = true;
        changed.notify_all();
        changed.wait(lock, [this] { return cancelled; });
    }
    void PostNotify(std::uint32_t) override
    {
        std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }
    // Returns once the run has ended, cancelling it at the chosen pass.
    void Drive(cantrix::ConverterEngine& engine)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return reached || ended; });
        if (reached) {
            engine.RequestCancel();
            cancelled = true;
            changed.notify_all();
        }
        changed.wait(lock, [this] { return ended; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    const std::uint32_t cancelAfter;
    std::uint32_t passes = 0;
    bool reached = false;
    bool cancelled = false;
    bool ended = false;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: engine_run INPUT OUTPUT FORMAT raw|riff [CANCEL_AFTER_PASSES]\n");
        return 2;
    }
    cantrix::InstallBuiltInDrivers(cantrix::CodecManager::Instance());
    cantrix::ConverterEngine engine;
    if (!engine.AnalyzeInput(argv[1], false)) {
        std::fprintf(stderr, "engine_run: %s cannot be analysed\n", argv[1]);
        return 1;
    }
    int index = -1;
    for (unsigned i = 0; i < engine.GetFormatCount(); ++i) {
        if (engine.GetFormatName(i) == argv[3])
            index = static_cast<int>(i);
    }
    if (index < 0) {
        std::fprintf(stderr, "engine_run: %s is not offered for %s\n", argv[3], argv[1]);
        return 1;
    }
    PassGate gate(argc == 6 ? static_cast<std::uint32_t>(std::strtoul(argv[5], nullptr, 10)) : 0);
    engine.SetProgressCtrl(&gate);
    engine.SetNotifyTarget(&gate, 1066);
    engine.SetFormatIndex(index);
    engine.SetWriteRiff(std::string(argv[4]) == "riff" ? 1 : 0);
    engine.SetOutputPath(argv[2]);
    if (!engine.StartConversion())
        return 1;
    gate.Drive(engine);
    engine.WaitForWorker();
    return engine.GetRunOutcome() == cantrix::RunOutcome::Failed ? 1 : 0;
}
