// Reading media control command strings: every accepted form, paths that hold anything but NUL,
// and the malformed strings that must be refused.
#include "platform/media_command.h"

#include <gtest/gtest.h>
#include <string>

namespace cantrix {
namespace {

MediaCommand ParseOk(std::string_view text)
{
    MediaCommand command;
    EXPECT_EQ(MediaCommand::Parse(text, command), MciResult::NoError) << text;
    return command;
}

MciResult ParseError(std::string_view text)
{
    MediaCommand command;
    return MediaCommand::Parse(text, command);
}

TEST(MediaCommand, ReadsEachCommandWithItsAlias)
{
    const struct {
        const char* text;
        MediaCommand::Verb verb;
        const char* alias;
    } cases[] = {
        {"seek to start tonelPrev", MediaCommand::Verb::SeekToStart, "tonelPrev"},
        {"play tonelPrev", MediaCommand::Verb::Play, "tonelPrev"},
        {"stop tonelPrev", MediaCommand::Verb::Stop, "tonelPrev"},
        {"close tonelPrev", MediaCommand::Verb::Close, "tonelPrev"},
        // Words in any case, separated by any run of blanks.
        {"  SEEK\tTo  START   a-b.c_1 ", MediaCommand::Verb::SeekToStart, "a-b.c_1"},
        {"Play\tx", MediaCommand::Verb::Play, "x"},
    };
    for (const auto& entry : cases) {
        const MediaCommand command = ParseOk(entry.text);
        EXPECT_EQ(command.verb, entry.verb) << entry.text;
        EXPECT_EQ(command.alias, entry.alias) << entry.text;
    }
}

TEST(MediaCommand, OpenKeepsThePathWholeWhateverItHolds)
{
    const char* paths[] = {
        "/home/user/tone.wav",
        "/home/user/My Music/two  spaces .wav",
        "/tmp/\"quoted\" name.wav",
        "/tmp/alias/alias.wav",
        "/tmp/a\" alias b.wav",           // the separator itself inside the path
        "/tmp/x\" alias y\" alias z.mp3", // twice
        "/tmp/Überraschung – Klänge ♪.flac",
        "/tmp/tab\there.wav",
        " leading and trailing blanks ",
        "\"",
    };
    for (const char* path : paths) {
        const MediaCommand command = ParseOk(std::string("open \"") + path + "\" alias tonelPrev");
        EXPECT_EQ(command.verb, MediaCommand::Verb::Open);
        EXPECT_EQ(command.path, path);
        EXPECT_EQ(command.alias, "tonelPrev");
    }
    // Blanks around the words and the keyword's case do not matter.
    const MediaCommand spaced = ParseOk("  OPEN \t \"/a b\"  ALIAS\ttonelPrev  ");
    EXPECT_EQ(spaced.path, "/a b");
    EXPECT_EQ(spaced.alias, "tonelPrev");
}

TEST(MediaCommand, RefusesMalformedStrings)
{
    const struct {
        std::string text;
        MciResult result;
    } cases[] = {
        {"", MciResult::UnrecognizedCommand},
        {"   ", MciResult::UnrecognizedCommand},
        {"pause tonelPrev", MciResult::UnrecognizedCommand},
        {"openx \"/a.wav\" alias p", MciResult::UnrecognizedCommand},
        {"open\"/a.wav\" alias p", MciResult::UnrecognizedCommand},
        {"open", MciResult::MissingParameter},
        {"open /a.wav alias p", MciResult::UnrecognizedKeyword},
        {"open \"/a.wav alias p", MciResult::NoClosingQuote},
        {"open \"/a.wav\"", MciResult::MissingParameter},
        {"open \"/a.wav\" alias", MciResult::MissingParameter},
        {"open \"/a.wav\"alias p", MciResult::MissingParameter},
        {"open \"\" alias p", MciResult::MissingParameter},
        {"open \"/a.wav\" alias p q", MciResult::UnrecognizedKeyword},
        {"open \"/a.wav\" alias \"p\"", MciResult::UnrecognizedKeyword},
        {"play", MciResult::MissingParameter},
        {"play a b", MciResult::UnrecognizedKeyword},
        {"play \"a\"", MciResult::UnrecognizedKeyword},
        {"stop", MciResult::MissingParameter},
        {"close a b", MciResult::UnrecognizedKeyword},
        {"seek to start", MciResult::MissingParameter},
        {"seek to", MciResult::MissingParameter},
        {"seek start to a", MciResult::UnrecognizedKeyword},
        {"seek to a", MciResult::UnrecognizedKeyword},
        {"seek to start a b", MciResult::UnrecognizedKeyword},
        {std::string("play a\0b", 8), MciResult::UnrecognizedKeyword},
        {std::string("open \"/a\0.wav\" alias p", 22), MciResult::UnrecognizedKeyword},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(ParseError(entry.text), entry.result) << "\"" << entry.text << "\"";
}

} // namespace
} // namespace cantrix
