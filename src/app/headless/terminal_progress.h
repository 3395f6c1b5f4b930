#pragma once
// The live progress lines of a terminal run: one line per running file, redrawn in place.
#include <cstdio>
#include <string>
#include <vector>

namespace cantrix {

// "M:SS", or "H:MM:SS" from an hour on.
std::string FormatDuration(double seconds);

class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* stream) : stream(stream) {}

    struct Line {
        std::string name;
        double fraction;       // of the input converted, 0 to 1
        double audioSeconds;   // the whole input's duration
        double elapsedSeconds; // since its conversion started
    };
    // One line: the bar, the percentage, the speed in times real time, the time left, the name.
    static std::string Format(const Line& line);
    // Replaces the lines drawn last time by `lines`.
    void Draw(const std::vector<Line>& lines);
    // Removes the lines, so that ordinary output can follow.
    void Clear();

private:
    std::FILE* stream;
    std::size_t drawn = 0;
};

} // namespace cantrix
