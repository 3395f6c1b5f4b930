#pragma once
// The live progress lines of a terminal run: one line per running file, redrawn in place.
#include <cstdio>
#include <string>
#include <vector>

namespace cantrix {

class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* stream) : stream(stream) {}

    struct Line {
        std::string name;
        double fraction;
    };
    // Replaces the lines drawn last time by `lines`.
    void Draw(const std::vector<Line>& lines);
    // Removes the lines, so that ordinary output can follow.
    void Clear();

private:
    std::FILE* stream;
    std::size_t drawn = 0;
};

} // namespace cantrix
