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
    // A poll must not enter a timed wait: even an expired deadline sleeps for the kernel's timer
    // slack, which a worker polling once per block would pay tens of thousands of times.
    if (timeout.count() <= 0) {
        const bool wasSignalled = signalled;
        signalled = false;
        return wasSignalled;
    }
    if (!signalledChanged.wait_for(lock, timeout, [this] { return signalled; }))
        return false;
    signalled = false;
    return true;
}

} // namespace cantrix
