#include "support/recording_targets.h"

#include <chrono>

namespace cantrix::test {

void RecordingPresenter::ShowMessage(std::uint32_t id)
{
    std::lock_guard lock(mutex);
    messages.push_back(id);
}

void RecordingPresenter::Beep(EventSound sound)
{
    std::lock_guard lock(mutex);
    sounds.push_back(sound);
}

std::vector<std::uint32_t> RecordingPresenter::Messages()
{
    std::lock_guard lock(mutex);
    return messages;
}

std::vector<EventSound> RecordingPresenter::Sounds()
{
    std::lock_guard lock(mutex);
    return sounds;
}

void RecordingProgress::SetRange(std::uint32_t maximum)
{
    std::lock_guard lock(mutex);
    range = maximum;
}

void RecordingProgress::SetStep(std::uint32_t value)
{
    std::lock_guard lock(mutex);
    step = value;
}

void RecordingProgress::StepIt()
{
    std::lock_guard lock(mutex);
    ++steps;
}

void RecordingProgress::SetPos(std::uint32_t position)
{
    std::lock_guard lock(mutex);
    positions.push_back(position);
}

void NotifyWaiter::PostNotify(std::uint32_t message)
{
    {
        std::lock_guard lock(mutex);
        ++received;
        lastMessage = message;
    }
    arrived.notify_all();
}

bool NotifyWaiter::WaitFor(int count)
{
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(60), [&] { return received >= count; });
}

std::uint32_t NotifyWaiter::LastMessage()
{
    std::lock_guard lock(mutex);
    return lastMessage;
}

} // namespace cantrix::test
