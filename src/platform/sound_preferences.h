#pragma once
// Where desktops keep the user's event-sound choices: GTK's settings files, which the desktops'
// settings tools write for every program, and the X settings (XSETTINGS) that a settings daemon
// publishes on X11, which win where both speak, as they do for GTK's own programs.
#include "platform/event_sound.h"

#include <string>
#include <vector>

namespace cantrix {

// GTK's settings files in rising priority: the system's, then the user's, from the XDG base
// directories of the environment.
std::vector<std::string> SoundSettingsFiles();

// The choices in `files`, each later file on top of the earlier ones ("gtk-sound-theme-name",
// "gtk-enable-event-sounds" in the [Settings] group). Missing files and lines change nothing.
SoundPreferences ReadSoundSettingsFiles(const std::vector<std::string>& files);

// Applies the X settings in `blob` (the contents of the _XSETTINGS_SETTINGS property):
// "Net/SoundThemeName" and "Net/EnableEventSounds". A malformed blob changes nothing.
void ApplyXSettings(const std::vector<unsigned char>& blob, SoundPreferences& preferences);

} // namespace cantrix
