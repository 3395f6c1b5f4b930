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
    WriteText(dir.File("system.ini"),
              "[Settings]\ngtk-sound-theme-name = ocean\ngtk-enable-event-sounds=true\n");
    WriteText(dir.File("user.ini"), "# mine\n[Other]\ngtk-sound-theme-name=elsewhere\n"
                                    "[Settings]\n  gtk-enable-event-sounds = 0\r\ngtk-font-name=Sans 10\n");
    WriteText(dir.File("quoted.ini"),
              "[Settings]\ngtk-sound-theme-name=\"Yaru\"\ngtk-enable-event-sounds=maybe\n");
    struct Case {
        std::vector<std::string> files;
        std::string theme;
        bool enabled;
    };
    const Case cases[] = {
        {{}, "", true},
        {{dir.File("missing.ini")}, "", true},
        {{dir.File("system.ini")}, "ocean", true},
        {{dir.File("system.ini"), dir.File("user.ini")}, "ocean", false},
        {{dir.File("user.ini"), dir.File("system.ini")}, "ocean", true},
        {{dir.File("user.ini"), dir.File("quoted.ini")}, "Yaru", false},
    };
    for (const Case& c : cases) {
        const SoundPreferences read = ReadSoundSettingsFiles(c.files);
        EXPECT_EQ(read.themeName, c.theme) << c.files.size();
        EXPECT_EQ(read.enabled, c.enabled) << c.files.size();
    }
}

TEST(SoundPreferences, SettingsFilesFollowTheBaseDirectories)
{
    const char* home = getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    setenv("XDG_CONFIG_DIRS", "/first:/second", 1);
    setenv("XDG_CONFIG_HOME", "/home/me/conf", 1);
    EXPECT_EQ(
        SoundSettingsFiles(),
        (std::vector<std::string>{"/etc/gtk-3.0/settings.ini", "/second/gtk-3.0/settings.ini",
                                  "/first/gtk-3.0/settings.ini", "/home/me/conf/gtk-3.0/settings.ini"}));
    unsetenv("XDG_CONFIG_DIRS");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/me", 1);
    EXPECT_EQ(SoundSettingsFiles(),
              (std::vector<std::string>{"/etc/gtk-3.0/settings.ini", "/etc/xdg/gtk-3.0/settings.ini",
                                        "/home/me/.config/gtk-3.0/settings.ini"}));
    setenv("HOME", savedHome.c_str(), 1);
}

// The X settings as a settings daemon publishes them, in either byte order.
class XSettingsBlob {
public:
    explicit XSettingsBlob(bool bigEndian, std::uint32_t count) : big(bigEndian)
    {
        bytes = {static_cast<unsigned char>(big ? 1 : 0), 0, 0, 0};
        Card(4, 7); // serial
        Card(4, count);
    }
    XSettingsBlob& Integer(const std::string& name, std::uint32_t value)
    {
        Head(0, name);
        Card(4, value);
        return *this;
    }
    XSettingsBlob& String(const std::string& name, const std::string& value)
    {
        Head(1, name);
        Card(4, static_cast<std::uint32_t>(value.size()));
        Padded(value);
        return *this;
    }
    XSettingsBlob& Color(const std::string& name)
    {
        Head(2, name);
        for (int i = 0; i < 4; ++i)
            Card(2, 0xffff);
        return *this;
    }
    std::vector<unsigned char> bytes;

private:
    void Card(int size, std::uint32_t value)
    {
        for (int i = 0; i < size; ++i) {
            const int shift = big ? 8 * (size - 1 - i) : 8 * i;
            bytes.push_back(static_cast<unsigned char>(value >> shift));
        }
    }
    void Padded(const std::string& text)
    {
        bytes.insert(bytes.end(), text.begin(), text.end());
        while (bytes.size() % 4 != 0)
            bytes.push_back(0);
    }
    void Head(unsigned char type, const std::string& name)
    {
        bytes.push_back(type);
        bytes.push_back(0);
        Card(2, static_cast<std::uint32_t>(name.size()));
        Padded(name);
        Card(4, 3); // last change
    }
    bool big;
};

TEST(SoundPreferences, XSettingsWinOverTheFiles)
{
    for (const bool big : {false, true}) {
        const std::vector<unsigned char> blob = XSettingsBlob(big, 4)
                                                    .Color("Gtk/Color")
                                                    .String("Net/SoundThemeName", "freedesktop-x")
                                                    .Integer("Net/CursorBlink", 1)
                                                    .Integer("Net/EnableEventSounds", 0)
                                                    .bytes;
        SoundPreferences preferences{"ocean", true};
        ApplyXSettings(blob, preferences);
        EXPECT_EQ(preferences.themeName, "freedesktop-x") << big;
        EXPECT_FALSE(preferences.enabled) << big;

        // A blob cut anywhere, or one that counts more settings than it holds, changes nothing.
        for (std::size_t cut = 0; cut < blob.size(); ++cut) {
            SoundPreferences kept{"ocean", true};
            ApplyXSettings(std::vector<unsigned char>(blob.begin(), blob.begin() + static_cast<long>(cut)),
                           kept);
            EXPECT_EQ(kept.themeName, "ocean") << cut;
            EXPECT_TRUE(kept.enabled) << cut;
        }
        SoundPreferences kept{"ocean", true};
        ApplyXSettings(XSettingsBlob(big, 2).Integer("Net/EnableEventSounds", 0).bytes, kept);
        EXPECT_TRUE(kept.enabled);
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
