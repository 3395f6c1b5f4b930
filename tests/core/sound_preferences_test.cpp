// The desktop's event-sound choices as GTK's settings files and the X settings carry them, and a
// sound that finds no sound server.
#include "no_sound_server.h"
#include "platform/event_sound.h"
#include "platform/sound_preferences.h"
#include "support/wav_builder.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>

namespace cantrix::test {
namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

TEST(SoundPreferences, SettingsFilesLaterOnTop)
{
    TempDir dir;
    const std::string system = dir.File("system.ini"), user = dir.File("user.ini"),
                      quoted = dir.File("q.ini");
    WriteText(system, "[Settings]\ngtk-sound-theme-name = ocean\ngtk-enable-event-sounds=true\n");
    WriteText(
        user,
        "# mine\n[Other]\ngtk-sound-theme-name=elsewhere\n[Settings]\n  gtk-enable-event-sounds = 0\r\n");
    WriteText(quoted, "[Settings]\ngtk-sound-theme-name=\"Yaru\"\ngtk-enable-event-sounds=maybe\n");
    const struct {
        std::vector<std::string> files;
        std::string theme;
        bool enabled;
    } cases[] = {
        {{}, "", true},
        {{dir.File("missing.ini")}, "", true},
        {{system, user}, "ocean", false},
        {{user, system}, "ocean", true},
        {{user, quoted}, "Yaru", false},
    };
    for (const auto& c : cases) {
        const SoundPreferences read = ReadSoundSettingsFiles(c.files);
        EXPECT_EQ(read.themeName, c.theme) << c.files.size();
        EXPECT_EQ(read.enabled, c.enabled) << c.files.size();
    }
}

// X settings as a settings daemon publishes them: a colour, the theme's name, two numbers.
std::vector<unsigned char> XSettings(bool big, std::uint32_t count)
{
    std::vector<unsigned char> bytes{static_cast<unsigned char>(big), 0, 0, 0};
    const auto card = [&](int size, std::uint32_t value) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<unsigned char>(value >> (big ? 8 * (size - 1 - i) : 8 * i)));
    };
    const auto padded = [&](const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.resize((bytes.size() + 3) / 4 * 4);
    };
    const auto head = [&](std::uint32_t type, const std::string& name) {
        card(1, type);
        card(1, 0);
        card(2, static_cast<std::uint32_t>(name.size()));
        padded(name);
        card(4, 3); // last change
    };
    card(4, 7); // serial
    card(4, count);
    head(2, "Gtk/Color");
    for (int i = 0; i < 4; ++i)
        card(2, 0xffff);
    head(1, "Net/SoundThemeName");
    card(4, 13);
    padded("freedesktop-x");
    head(0, "Net/CursorBlink");
    card(4, 1);
    head(0, "Net/EnableEventSounds");
    card(4, 0);
    return bytes;
}

TEST(SoundPreferences, XSettingsWinOverTheFiles)
{
    for (const bool big : {false, true}) {
        SoundPreferences preferences{"ocean", true};
        ApplyXSettings(XSettings(big, 4), preferences);
        EXPECT_EQ(preferences.themeName, "freedesktop-x") << big;
        EXPECT_FALSE(preferences.enabled) << big;

        // A blob cut anywhere, or one that counts more settings than it holds, changes nothing.
        const std::vector<unsigned char> blob = XSettings(big, 4);
        for (std::size_t cut = 0; cut <= blob.size(); ++cut) {
            std::vector<unsigned char> broken(blob.begin(), blob.begin() + static_cast<long>(cut));
            if (cut == blob.size())
                broken = XSettings(big, 5);
            SoundPreferences kept{"ocean", true};
            ApplyXSettings(broken, kept);
            EXPECT_EQ(kept.themeName, "ocean") << cut;
            EXPECT_TRUE(kept.enabled) << cut;
        }
    }
}

class EventSoundWithoutServer : public NoSoundServer {};

TEST_F(EventSoundWithoutServer, FailsSoTheCallerCanRingItsBell)
{
    // Nor can the sound go straight to a sound card.
    const std::string noCards = runtimeDir + "/alsa.conf";
    WriteText(noCards, "");
    setenv("ALSA_CONFIG_PATH", noCards.c_str(), 1);
    EventSoundPlayer player("cantrix test");
    EXPECT_EQ(player.Play(EventSound::Complete, {}), SoundOutcome::Failed);
    EXPECT_EQ(player.Play(EventSound::Bell, {"", false}), SoundOutcome::Disabled);
    unsetenv("ALSA_CONFIG_PATH");
}

} // namespace
} // namespace cantrix::test
