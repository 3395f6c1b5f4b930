#include "app/headless/terminal_progress.h"

#include <algorithm>
#include <cmath>

namespace cantrix {

namespace {
constexpr int kBarWidth = 30;
constexpr long kSecondsPerMinute = 60;
constexpr long kSecondsPerHour = 3600;
// ANSI: cursor up one line, and erase the line.
constexpr const char* kLineUp = "\x1b[1A";
constexpr const char* kEraseLine = "\r\x1b[2K";
} // namespace

std::string FormatDuration(double seconds)
{
    const long total = std::lround(std::max(0.0, seconds));
    const long hours = total / kSecondsPerHour;
    const long minutes = total % kSecondsPerHour / kSecondsPerMinute;
    const long rest = total % kSecondsPerMinute;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, rest);
    return text;
}

std::string TerminalProgress::Format(const Line& line)
{
    const int filled = static_cast<int>(line.fraction * kBarWidth + 0.5);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    // Speed and time left need some progress to go on; until then they show as unknown.
    char pace[48] = "   --x   --:-- left";
    if (line.fraction > 0 && line.elapsedSeconds > 0) {
        const double speed = line.fraction * line.audioSeconds / line.elapsedSeconds;
        const double left = line.elapsedSeconds * (1 - line.fraction) / line.fraction;
        std::snprintf(pace, sizeof pace, "%5.1fx %7s left", speed, FormatDuration(left).c_str());
    }
    char text[96];
    std::snprintf(text, sizeof text, "[%s] %3d%%  %s  ", bar.c_str(), static_cast<int>(line.fraction * 100),
                  pace);
    return text + line.name;
}

void TerminalProgress::Clear()
{
    for (std::size_t i = 0; i < drawn; ++i)
        std::fputs(kLineUp, stream), std::fputs(kEraseLine, stream);
    drawn = 0;
    std::fflush(stream);
}

void TerminalProgress::Draw(const std::vector<Line>& lines)
{
    Clear();
    for (const Line& line : lines)
        std::fprintf(stream, "%s%s\n", kEraseLine, Format(line).c_str());
    drawn = lines.size();
    std::fflush(stream);
}

} // namespace cantrix
