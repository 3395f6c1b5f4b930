#pragma once
#include "platform/event_sound.h"

namespace cantrix {

// The user's event-sound choices as the desktop has them now: GTK's settings files, and on X11 the
// display's X settings on top. Read afresh on every call, so a change applies to the next sound.
SoundPreferences DesktopSoundPreferences();

} // namespace cantrix
