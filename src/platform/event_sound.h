#pragma once
// The desktop's event sounds, through libcanberra: a named sound of the user's sound theme (the
// freedesktop theme where that one lacks it), handed to the sound server, which plays it on its
// own. Playing never waits for a sound to end; a program about to end waits for its sounds with
// WaitForSounds, since ending the program cuts them off.
//
// Thread rules: a player may be used from any thread; libcanberra locks its context and calls
// back from a thread of its own when a sound has ended.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

struct ca_context;

namespace cantrix {

enum class EventSound {
    Bell,     // "bell": a command that has nothing to show
    Complete, // "complete": a conversion has ended
};

// The user's choices for event sounds, as the desktop keeps them.
struct SoundPreferences {
    std::string themeName; // empty: libcanberra's default theme
    bool enabled = true;
};

enum class SoundOutcome {
    Played,
    Disabled, // the user has turned event sounds off
    Failed,   // no sound server or device took it, or no theme has the sound
};

class EventSoundPlayer {
public:
    // `applicationName` names the sounds' source on the sound server.
    explicit EventSoundPlayer(const std::string& applicationName);
    ~EventSoundPlayer();
    EventSoundPlayer(const EventSoundPlayer&) = delete;
    EventSoundPlayer& operator=(const EventSoundPlayer&) = delete;

    // Returns as soon as the sound server has taken the sound or refused it.
    SoundOutcome Play(EventSound sound, const SoundPreferences& preferences);
    // Waits until every sound played has ended, or `limit` has passed; true when none plays.
    bool WaitForSounds(std::chrono::milliseconds limit);

private:
    struct ContextDeleter {
        void operator()(ca_context* context) const;
    };
    static void OnSoundEnded(ca_context* context, std::uint32_t id, int result, void* player);
    void Ended(std::uint32_t id);

    // Before `context`, whose destruction ends the sounds still playing and reports them here.
    std::mutex mutex;
    std::condition_variable ended;
    std::uint32_t lastId = 0;        // under `mutex`
    std::set<std::uint32_t> playing; // under `mutex`
    std::unique_ptr<ca_context, ContextDeleter> context;
};

} // namespace cantrix
