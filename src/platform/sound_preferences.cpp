#include "platform/sound_preferences.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

namespace cantrix {

namespace {
constexpr const char* kSettingsFile = "/gtk-3.0/settings.ini";
constexpr const char* kSettingsGroup = "[Settings]";
constexpr const char* kThemeKey = "gtk-sound-theme-name";
constexpr const char* kEnableKey = "gtk-enable-event-sounds";
constexpr const char* kThemeSetting = "Net/SoundThemeName";
constexpr const char* kEnableSetting = "Net/EnableEventSounds";

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    std::string value = text.substr(first, last - first + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

std::optional<bool> Boolean(const std::string& value)
{
    if (value == "true" || value == "TRUE" || value == "1")
        return true;
    if (value == "false" || value == "FALSE" || value == "0")
        return false;
    return std::nullopt;
}

void ReadSettingsFile(const std::string& path, SoundPreferences& preferences)
{
    std::ifstream file(path);
    std::string line;
    bool inGroup = false;
    while (std::getline(file, line)) {
        const std::string text = Trimmed(line);
        if (text.empty() || text[0] == '#' || text[0] == ';')
            continue;
        if (text[0] == '[') {
            inGroup = text == kSettingsGroup;
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inGroup || equals == std::string::npos)
            continue;
        const std::string key = Trimmed(text.substr(0, equals));
        const std::string value = Trimmed(text.substr(equals + 1));
        if (key == kThemeKey)
            preferences.themeName = value;
        else if (key == kEnableKey)
            preferences.enabled = Boolean(value).value_or(preferences.enabled);
    }
}

// Reads the X settings' numbers in the byte order the blob declares, never past its end.
class XSettingsReader {
public:
    explicit XSettingsReader(const std::vector<unsigned char>& blob) : blob(blob) {}

    bool Card8(std::uint32_t& value) { return Number(1, value); }
    bool Card16(std::uint32_t& value) { return Number(2, value); }
    bool Card32(std::uint32_t& value) { return Number(4, value); }
    void SetBigEndian(bool big) { bigEndian = big; }
    // `length` bytes, then the padding to the next multiple of four.
    bool Text(std::size_t length, std::string& text)
    {
        const std::size_t padded = (length + 3) / 4 * 4;
        if (padded > blob.size() - offset)
            return false;
        text.assign(blob.begin() + static_cast<std::ptrdiff_t>(offset),
                    blob.begin() + static_cast<std::ptrdiff_t>(offset + length));
        offset += padded;
        return true;
    }
    bool Skip(std::size_t bytes)
    {
        if (bytes > blob.size() - offset)
            return false;
        offset += bytes;
        return true;
    }

private:
    bool Number(std::size_t bytes, std::uint32_t& value)
    {
        if (bytes > blob.size() - offset)
            return false;
        value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            const std::uint32_t byte = blob[offset + i];
            value |= bigEndian ? byte << (8 * (bytes - 1 - i)) : byte << (8 * i);
        }
        offset += bytes;
        return true;
    }

    const std::vector<unsigned char>& blob;
    std::size_t offset = 0;
    bool bigEndian = false;
};

enum XSettingType : std::uint32_t { kInteger = 0, kString = 1, kColor = 2 };
} // namespace

std::vector<std::string> SoundSettingsFiles()
{
    std::vector<std::string> files = {std::string("/etc") + kSettingsFile};
    // XDG_CONFIG_DIRS lists the most important folder first, so it is taken from the back.
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::vector<std::string> systemDirs;
    std::stringstream list(dirs != nullptr && *dirs != '\0' ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty())
            systemDirs.insert(systemDirs.begin(), dir);
    for (const std::string& dir : systemDirs)
        files.push_back(dir + kSettingsFile);
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (configHome != nullptr && *configHome != '\0')
        files.push_back(configHome + std::string(kSettingsFile));
    else if (home != nullptr && *home != '\0')
        files.push_back(home + std::string("/.config") + kSettingsFile);
    return files;
}

SoundPreferences ReadSoundSettingsFiles(const std::vector<std::string>& files)
{
    SoundPreferences preferences;
    for (const std::string& file : files)
        ReadSettingsFile(file, preferences);
    return preferences;
}

void ApplyXSettings(const std::vector<unsigned char>& blob, SoundPreferences& preferences)
{
    // The layout that settings daemons publish: byte order, 3 unused bytes, serial, count, then
    // each setting: type, 1 unused byte, name length, name (padded), last-change serial, value.
    XSettingsReader reader(blob);
    std::uint32_t order = 0;
    std::uint32_t serial = 0;
    std::uint32_t count = 0;
    if (!reader.Card8(order) || order > 1)
        return;
    reader.SetBigEndian(order == 1);
    if (!reader.Skip(3) || !reader.Card32(serial) || !reader.Card32(count))
        return;
    SoundPreferences found = preferences;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t type = 0;
        std::uint32_t nameLength = 0;
        std::string name;
        if (!reader.Card8(type) || !reader.Skip(1) || !reader.Card16(nameLength) ||
            !reader.Text(nameLength, name) || !reader.Card32(serial))
            return;
        if (type == kInteger) {
            std::uint32_t value = 0;
            if (!reader.Card32(value))
                return;
            if (name == kEnableSetting)
                found.enabled = value != 0;
        } else if (type == kString) {
            std::uint32_t length = 0;
            std::string value;
            if (!reader.Card32(length) || !reader.Text(length, value))
                return;
            if (name == kThemeSetting)
                found.themeName = value;
        } else if (type == kColor) {
            if (!reader.Skip(8))
                return;
        } else {
            return;
        }
    }
    preferences = found;
}

} // namespace cantrix
