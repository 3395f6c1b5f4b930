#pragma once
// Engine targets that record what the engine told them, for tests.
#include "engine/engine_targets.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace cantrix::test {

class RecordingPresenter : public MessagePresenter {
public:
    void ShowMessage(std::uint32_t id) override;
    void Beep(EventSound sound) override;
    std::vector<std::uint32_t> Messages();
    std::vector<EventSound> Sounds();

private:
    std::mutex mutex;
    std::vector<std::uint32_t> messages;
    std::vector<EventSound> sounds;
};

class RecordingProgress : public ProgressTarget {
public:
    void SetRange(std::uint32_t maximum) override;
    void SetStep(std::uint32_t step) override;
    void StepIt() override;
    void SetPos(std::uint32_t position) override;

    std::mutex mutex;
    std::uint32_t range = 0;
    std::uint32_t step = 0;
    std::uint32_t steps = 0;
    std::vector<std::uint32_t> positions;
};

// Counts end messages and lets a test wait for the next one.
class NotifyWaiter : public NotifyTarget {
public:
    void PostNotify(std::uint32_t message) override;
    // Waits until `count` end messages have arrived; false after 60 s.
    bool WaitFor(int count);
    std::uint32_t LastMessage();

private:
    std::mutex mutex;
    std::condition_variable arrived;
    int received = 0;
    std::uint32_t lastMessage = 0;
};

} // namespace cantrix::test
