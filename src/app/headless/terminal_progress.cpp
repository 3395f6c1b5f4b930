#include "app/headless/terminal_progress.h"

namespace cantrix {

namespace {
constexpr int kBarWidth = 30;
// ANSI: cursor up one line, and erase the line.
constexpr const char* kLineUp = "\x1b[1A";
constexpr const char* kEraseLine = "\r\x1b[2K";
} // namespace

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
    for (const Line& line : lines) {
        const int filled = static_cast<int>(line.fraction * kBarWidth + 0.5);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(kBarWidth, '.');
        std::fprintf(stream, "%s[%s] %3d%%  %s\n", kEraseLine, bar.c_str(),
                     static_cast<int>(line.fraction * 100), line.name.c_str());
    }
    drawn = lines.size();
    std::fflush(stream);
}

} // namespace cantrix
