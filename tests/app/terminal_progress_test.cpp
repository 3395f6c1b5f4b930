#include "app/headless/terminal_progress.h"

#include <gtest/gtest.h>

namespace cantrix {
namespace {

TEST(TerminalProgress, LineShowsSpeedAndTimeLeft)
{
    struct Case {
        TerminalProgress::Line line;
        const char* expected;
    };
    for (const Case& c : std::vector<Case>{
             {{"song.wav", 0.5, 120, 2},
              "[###############...............]  50%   30.0x    0:02 left  song.wav"},
             {{"long.wav", 0.25, 7200, 60},
              "[########......................]  25%   30.0x    3:00 left  long.wav"},
             {{"slow.wav", 0.1, 36000, 3600},
              "[###...........................]  10%    1.0x 9:00:00 left  slow.wav"},
             // Nothing converted yet: no speed to go on, and no division by zero.
             {{"new.wav", 0, 60, 0}, "[..............................]   0%     --x   --:-- left  new.wav"},
             {{"odd.wav", 0.5, 60, 0}, "[###############...............]  50%     --x   --:-- left  odd.wav"},
         }) {
        EXPECT_EQ(TerminalProgress::Format(c.line), c.expected);
    }
}

TEST(TerminalProgress, Durations)
{
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(59.6), "1:00");
    EXPECT_EQ(FormatDuration(3599), "59:59");
    EXPECT_EQ(FormatDuration(3725), "1:02:05");
    EXPECT_EQ(FormatDuration(-3), "0:00");
}

} // namespace
} // namespace cantrix
