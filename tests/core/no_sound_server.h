#pragma once
// A test fixture under which no sound server can be reached: libpulse is pointed at a socket in
// an empty private directory. The environment is restored afterwards.
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <stdlib.h>
#include <string>

namespace cantrix::test {

class NoSoundServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sound_noserver.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        runtimeDir = pattern;
        Save("PULSE_SERVER", savedServer);
        Save("XDG_RUNTIME_DIR", savedRuntimeDir);
        setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + runtimeDir + "/pulse/native").c_str(), 1);
    }

    void TearDown() override
    {
        Restore("PULSE_SERVER", savedServer);
        Restore("XDG_RUNTIME_DIR", savedRuntimeDir);
        std::error_code ignored;
        std::filesystem::remove_all(runtimeDir, ignored);
    }

    // The threads of this process; a device that failed to open or was closed leaves none behind.
    static std::size_t ThreadCount()
    {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
            ++count;
        return count;
    }

    std::string runtimeDir;

private:
    static void Save(const char* name, std::optional<std::string>& slot)
    {
        if (const char* value = getenv(name))
            slot = value;
    }
    static void Restore(const char* name, const std::optional<std::string>& slot)
    {
        if (slot)
            setenv(name, slot->c_str(), 1);
        else
            unsetenv(name);
    }

    std::optional<std::string> savedServer;
    std::optional<std::string> savedRuntimeDir;
};

} // namespace cantrix::test
