#include "ui/desktop_sound_preferences.h"

#include "platform/sound_preferences.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>

namespace cantrix {

namespace {
// The settings daemon of a display's first screen, the default screen of every usual display,
// owns this selection and keeps the settings in a property of the same window.
constexpr const char* kSelection = "_XSETTINGS_S0";
constexpr const char* kProperty = "_XSETTINGS_SETTINGS";
// In 32-bit units; far more than any settings daemon publishes.
constexpr std::uint32_t kMaxPropertyLength = 1 << 20;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The X settings of the display the program runs on; empty off X11 or without a settings daemon.
std::vector<unsigned char> XSettingsBlob()
{
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr)
        return {};
    // Other platforms than X11 may answer too, without a connection (the offscreen one does).
    xcb_connection_t* connection = x11->connection();
    if (connection == nullptr)
        return {};
    const xcb_atom_t selection = Atom(connection, kSelection);
    const xcb_atom_t property = Atom(connection, kProperty);
    if (selection == XCB_ATOM_NONE || property == XCB_ATOM_NONE)
        return {};
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr),
        &std::free);
    if (owner == nullptr || owner->owner == XCB_WINDOW_NONE)
        return {};
    const Reply<xcb_get_property_reply_t> value(
        xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, owner->owner, property, property, 0, kMaxPropertyLength),
            nullptr),
        &std::free);
    if (value == nullptr || value->format != 8)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(xcb_get_property_value(value.get()));
    return {bytes, bytes + xcb_get_property_value_length(value.get())};
}
} // namespace

SoundPreferences DesktopSoundPreferences()
{
    SoundPreferences preferences = ReadSoundSettingsFiles(SoundSettingsFiles());
    ApplyXSettings(XSettingsBlob(), preferences);
    return preferences;
}

} // namespace cantrix
