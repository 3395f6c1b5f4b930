#include "platform/event_sound.h"

#include <canberra.h>

namespace cantrix {

namespace {
struct ProplistDeleter {
    void operator()(ca_proplist* list) const { ca_proplist_destroy(list); }
};

const char* EventId(EventSound sound)
{
    return sound == EventSound::Complete ? "complete" : "bell";
}

const char* Description(EventSound sound)
{
    return sound == EventSound::Complete ? "Conversion finished" : "Nothing to show";
}
} // namespace

void EventSoundPlayer::ContextDeleter::operator()(ca_context* context) const
{
    ca_context_destroy(context);
}

EventSoundPlayer::EventSoundPlayer(const std::string& applicationName)
{
    ca_context* created = nullptr;
    // Without a context every sound fails, and the caller falls back to its bell.
    if (ca_context_create(&created) != CA_SUCCESS)
        return;
    context.reset(created);
    ca_context_change_props(created, CA_PROP_APPLICATION_NAME, applicationName.c_str(), nullptr);
}

EventSoundPlayer::~EventSoundPlayer() = default;

SoundOutcome EventSoundPlayer::Play(EventSound sound, const SoundPreferences& preferences)
{
    if (!preferences.enabled)
        return SoundOutcome::Disabled;
    if (!context)
        return SoundOutcome::Failed;
    ca_proplist* created = nullptr;
    if (ca_proplist_create(&created) != CA_SUCCESS)
        return SoundOutcome::Failed;
    const std::unique_ptr<ca_proplist, ProplistDeleter> properties(created);
    ca_proplist_sets(created, CA_PROP_EVENT_ID, EventId(sound));
    ca_proplist_sets(created, CA_PROP_EVENT_DESCRIPTION, Description(sound));
    if (!preferences.themeName.empty())
        ca_proplist_sets(created, CA_PROP_CANBERRA_XDG_THEME_NAME, preferences.themeName.c_str());
    // Not kept in the sound server's cache, which knows a sound by its name alone: a sound theme
    // chosen later would not be heard.
    ca_proplist_sets(created, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
    // Listed before it starts, since its end may be reported before the call returns.
    std::uint32_t id = 0;
    {
        std::lock_guard lock(mutex);
        id = ++lastId;
        playing.insert(id);
    }
    // libcanberra returns once the server has the sound; the callback comes at its end.
    const int result =
        ca_context_play_full(context.get(), id, created, &EventSoundPlayer::OnSoundEnded, this);
    if (result == CA_SUCCESS)
        return SoundOutcome::Played;
    Ended(id);
    return result == CA_ERROR_DISABLED ? SoundOutcome::Disabled : SoundOutcome::Failed;
}

void EventSoundPlayer::OnSoundEnded(ca_context*, std::uint32_t id, int, void* player)
{
    static_cast<EventSoundPlayer*>(player)->Ended(id);
}

void EventSoundPlayer::Ended(std::uint32_t id)
{
    std::lock_guard lock(mutex);
    playing.erase(id);
    ended.notify_all();
}

bool EventSoundPlayer::WaitForSounds(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex);
    return ended.wait_for(lock, limit, [this] { return playing.empty(); });
}

} // namespace cantrix
