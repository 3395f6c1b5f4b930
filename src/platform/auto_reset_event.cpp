#include "platform/auto_reset_event.h"

namespace cantrix {

void AutoResetEvent::Set()
{
    {
        std::lock_guard lock(mutex);
        signalled = true;
    }
    signalledChanged.notify_one();
}

void AutoResetEvent::Reset()
{
    std::lock_guard lock(mutex);
    signalled = false;
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex);
    if (!signalledChanged.wait_for(lock, timeout, [this] { return signalled; }))
        return false;
    signalled = false;
    return true;
}

} // namespace cantrix
