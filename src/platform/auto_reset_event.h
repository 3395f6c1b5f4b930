#pragma once
// An auto-reset event: Set wakes one waiter (or the next one to wait), and a wait that sees the
// event signalled consumes the signal. It is the one stop signal that reaches a worker.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace cantrix {

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within the timeout; the signal is consumed. A zero
    // timeout polls without blocking.
    bool Wait(std::chrono::milliseconds timeout);

private:
    std::mutex mutex;
    std::condition_variable signalledChanged;
    bool signalled = false;
};

} // namespace cantrix
