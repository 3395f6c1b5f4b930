#pragma once
// The three ways the engine reaches a user interface. The window and the terminal front end each
// implement them; the engine never knows which one it talks to.
#include "platform/event_sound.h"

#include <cstdint>

namespace cantrix {

// Drives a progress display. Called from the conversion worker; an implementation must return
// quickly and may coalesce calls as long as the display ends up showing the same position.
class ProgressTarget {
public:
    virtual void SetRange(std::uint32_t maximum) = 0;
    virtual void SetStep(std::uint32_t step) = 0;
    virtual void StepIt() = 0;
    virtual void SetPos(std::uint32_t position) = 0;

protected:
    ~ProgressTarget() = default;
};

// Receives the end-of-conversion message. Called once from the worker as its last act; it must
// not wait for the receiver.
class NotifyTarget {
public:
    virtual void PostNotify(std::uint32_t message) = 0;

protected:
    ~NotifyTarget() = default;
};

// Shows string-table message `id` and returns once the user has dismissed it. Called from the
// user-interface thread or from a worker, which then waits.
class MessagePresenter {
public:
    virtual void ShowMessage(std::uint32_t id) = 0;
    // One of the desktop's event sounds: "bell" for a command that has nothing to show,
    // "complete" at the end of a run.
    virtual void Beep(EventSound sound) = 0;

protected:
    ~MessagePresenter() = default;
};

} // namespace cantrix
