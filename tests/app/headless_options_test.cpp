#include "app/headless/headless_options.h"

#include <gtest/gtest.h>

namespace cantrix {
namespace {

ParseResult Parse(std::vector<std::string> arguments, HeadlessDefaults defaults = {})
{
    return ParseHeadlessArguments(arguments, defaults);
}

TEST(HeadlessOptions, DefaultsComeFromTheSavedOptions)
{
    HeadlessDefaults defaults;
    defaults.writeRiff = false;
    defaults.conversionDir = "/out/";
    defaults.jobs = 3;
    const ParseResult result = Parse({"a.wav", "b.wav"}, defaults);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.options.inputs, (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_FALSE(result.options.writeRiff);
    EXPECT_EQ(result.options.conversionDir, "/out");
    EXPECT_EQ(result.options.jobs, 3u);
    EXPECT_FALSE(result.options.preset.has_value());
    EXPECT_FALSE(result.options.format.has_value());
}

TEST(HeadlessOptions, ReadsEveryOptionInBothSpellings)
{
    const ParseResult result = Parse({"--preset", "modem", "--riff", "--raw", "--dir=/", "--jobs=4",
                                      "--quiet", "--overwrite", "--output", "x.mp3", "--", "--odd name.wav"});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.options.preset, Preset::Modem);
    EXPECT_FALSE(result.options.writeRiff);
    EXPECT_EQ(result.options.conversionDir, "/");
    EXPECT_EQ(result.options.jobs, 4u);
    EXPECT_TRUE(result.options.quiet);
    EXPECT_TRUE(result.options.overwrite);
    EXPECT_EQ(result.options.output, "x.mp3");
    EXPECT_EQ(result.options.inputs, (std::vector<std::string>{"--odd name.wav"}));
    EXPECT_EQ(Parse({"--format", "128 kBit/s, 44100 Hz, Stereo", "a.wav"}).options.format,
              "128 kBit/s, 44100 Hz, Stereo");
    EXPECT_TRUE(Parse({"--list-formats", "a.wav"}).options.listFormats);
    EXPECT_TRUE(Parse({"--skip-existing", "a.wav"}).options.skipExisting);
}

TEST(HeadlessOptions, TagsInLongAndLameSpelling)
{
    const ParseResult result = Parse({"--tt", "T", "--artist=A", "--tl", "", "--year", "2021-04-05",
                                      "--tn=3/12", "--genre", "Rock", "--tc", "Caf\xE9", "a.wav"});
    ASSERT_EQ(result.error, "");
    const std::vector<std::optional<std::string>> expected{"T",    "A",    "",           "2021-04-05",
                                                           "3/12", "Rock", "Caf\xC3\xA9"};
    EXPECT_EQ(std::vector(result.options.tags.fields.begin(), result.options.tags.fields.end()), expected);
    const ParseResult kept = Parse({"--title", "T", "a.wav"});
    EXPECT_FALSE(kept.options.tags.fields[static_cast<std::size_t>(TagField::Artist)].has_value());
    EXPECT_TRUE(Parse({"--no-tags", "a.wav"}).options.tags.dropAll);
}

TEST(HeadlessOptions, StandardStreams)
{
    HeadlessDefaults riffByDefault;
    riffByDefault.writeRiff = true;
    // Standard output takes the raw stream unless a container is asked for.
    EXPECT_FALSE(Parse({"--output", "-", "a.wav"}, riffByDefault).options.writeRiff);
    EXPECT_TRUE(Parse({"--output", "-", "--riff", "a.wav"}, riffByDefault).options.writeRiff);
    EXPECT_TRUE(Parse({"--output", "x.wav", "a.wav"}, riffByDefault).options.writeRiff);
    const ParseResult piped = Parse({"--output", "-", "-"});
    ASSERT_EQ(piped.error, "");
    EXPECT_EQ(piped.options.inputs, (std::vector<std::string>{"-"}));
    EXPECT_EQ(Parse({"--list-formats", "-"}).error, "");
}

TEST(HeadlessOptions, UsageErrors)
{
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"--preset", "best", "a.wav"},
                                               {"--preset"},
                                               {"--jobs", "0", "a.wav"},
                                               {"--jobs", "two", "a.wav"},
                                               {"--jobs", "9999", "a.wav"},
                                               {"--output", "o.mp3", "a.wav", "b.wav"},
                                               {"--preset", "isdn", "--format", "1", "a.wav"},
                                               {"--bogus", "a.wav"},
                                               {"--quiet=yes", "a.wav"},
                                               {"--output=", "a.wav"},
                                               {"--overwrite", "--skip-existing", "a.wav"},
                                               {"-", "-"},
                                               {"-"},
                                               {"--dir", "out", "-"},
                                               {"--no-tags", "--tt", "T", "a.wav"},
                                               {"--track", "3of4", "a.wav"},
                                               {"--tn", "/4", "a.wav"},
                                               {"--year", "21", "a.wav"},
                                               {"--ty", "2021-4-5", "a.wav"}}) {
        EXPECT_NE(Parse(arguments).error, "") << ::testing::PrintToString(arguments);
    }
}

TEST(HeadlessOptions, HelpAndVersionNeedNoFiles)
{
    EXPECT_EQ(Parse({"--help"}).error, "");
    EXPECT_TRUE(Parse({"--help"}).options.help);
    EXPECT_TRUE(Parse({"--version"}).options.version);
}

} // namespace
} // namespace cantrix
