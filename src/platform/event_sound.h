#pragma once
// The desktop's event sounds, through libcanberra: a named sound of the user's sound theme (the
// freedesktop theme where that one lacks it), handed to the sound server, which plays it on its
// own. The caller never waits for a sound to end.
//
// Thread rules: a player may be used from any thread; libcanberra locks its context.
#include <memory>
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

private:
    struct ContextDeleter {
        void operator()(ca_context* context) const;
    };
    std::unique_ptr<ca_context, ContextDeleter> context;
};

} // namespace cantrix
