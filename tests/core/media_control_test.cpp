// Media control without a sound server: devices live under their aliases, files that cannot be
// played are refused at open, and play fails quietly when no sound device can be opened.
#include "no_sound_server.h"
#include "platform/media_control.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace cantrix {
namespace {

using MediaControlWithoutServer = test::NoSoundServer;

void PutLe(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 16-bit stereo PCM WAV file of `frames` silent frames at 44100 Hz.
void WriteWav(const std::string& path, std::uint32_t frames)
{
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t dataBytes = frames * 4;
    out.write("RIFF", 4);
    PutLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, 2, 2);
    PutLe(out, 44100, 4);
    PutLe(out, 44100 * 4, 4);
    PutLe(out, 4, 2);
    PutLe(out, 16, 2);
    out.write("data", 4);
    PutLe(out, dataBytes, 4);
    for (std::uint32_t i = 0; i < dataBytes; ++i)
        out.put(0);
}

std::string OpenCommand(const std::string& path, const char* alias = "tonelPrev")
{
    return "open \"" + path + "\" alias " + alias;
}

TEST_F(MediaControlWithoutServer, DevicesLiveUnderTheirAliasUntilClosed)
{
    const std::string path = runtimeDir + "/My \"tone\" alias x.wav";
    WriteWav(path, 4410);
    MediaControl media;

    // What the chooser sends before its first audition finds no device: harmless errors.
    EXPECT_EQ(media.SendString("stop tonelPrev"), MciResult::InvalidDeviceName);
    EXPECT_EQ(media.SendString("close tonelPrev"), MciResult::InvalidDeviceName);

    EXPECT_EQ(media.SendString(OpenCommand(path)), MciResult::NoError);
    EXPECT_EQ(media.SendString(OpenCommand(path, "TONELPREV")), MciResult::DuplicateAlias);
    EXPECT_EQ(media.SendString("play other"), MciResult::InvalidDeviceName);
    EXPECT_EQ(media.SendString("seek to start TonelPrev"), MciResult::NoError);
    const std::size_t threadsBefore = ThreadCount();
    EXPECT_EQ(media.SendString("play tonelPrev"), MciResult::Hardware);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_EQ(media.SendString("stop tonelPrev"), MciResult::NoError);
    EXPECT_EQ(media.SendString("close tonelPrev"), MciResult::NoError);

    EXPECT_EQ(media.SendString("play tonelPrev"), MciResult::InvalidDeviceName);
    EXPECT_EQ(media.SendString("close tonelPrev"), MciResult::InvalidDeviceName);
    // The alias is free again, and a second alias can be open beside it.
    EXPECT_EQ(media.SendString(OpenCommand(path)), MciResult::NoError);
    EXPECT_EQ(media.SendString(OpenCommand(path, "second")), MciResult::NoError);
    EXPECT_EQ(media.SendString("close second"), MciResult::NoError);
    EXPECT_EQ(media.SendString("close tonelPrev"), MciResult::NoError);
}

TEST_F(MediaControlWithoutServer, OpenRefusesWhatCannotBePlayedWithoutBlocking)
{
    const std::string text = runtimeDir + "/notes.wav";
    std::ofstream(text) << "not a sound file\n";
    const std::string empty = runtimeDir + "/empty.wav";
    std::ofstream{empty};
    const std::string fifo = runtimeDir + "/pipe.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const struct {
        std::string path;
        MciResult result;
    } cases[] = {
        {runtimeDir + "/missing.wav", MciResult::FileNotFound},
        {text + "/below-a-file.wav", MciResult::FileNotFound},
        {runtimeDir, MciResult::InvalidFile},
        {text, MciResult::InvalidFile},
        {empty, MciResult::InvalidFile},
        {fifo, MciResult::InvalidFile}, // no writer: a blocking open would never return
        {"/dev/zero", MciResult::InvalidFile},
    };
    MediaControl media;
    for (const auto& entry : cases) {
        EXPECT_EQ(media.SendString(OpenCommand(entry.path)), entry.result) << entry.path;
        // A refused open leaves the alias free.
        EXPECT_EQ(media.SendString("close tonelPrev"), MciResult::InvalidDeviceName) << entry.path;
    }
    EXPECT_EQ(media.SendString("open \"" + text + "\" alias"), MciResult::MissingParameter);
}

} // namespace
} // namespace cantrix
