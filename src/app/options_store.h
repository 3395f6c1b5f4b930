#pragma once
// The three options kept between runs, in QSettings("Quillonics", <application name>), group
// "Settings". The window reads them at start and writes them back when it closes; the terminal
// front end only reads them.
#include <QSettings>
#include <QString>
#include <cstdint>

namespace cantrix {

struct Options {
    QString conversionDir;        // "Conversion Dir"; empty: none chosen
    std::int32_t writeWavs = 1;   // "Write WAVs"; non-zero: RIFF/WAVE output
    std::int32_t ringTheBell = 1; // "Ring The Bell"; non-zero: beep when done
};

// Missing or unreadable values give the defaults above.
Options LoadOptions(QSettings& settings);
// Numbers are written as held (a stored 7 stays 7); an empty conversion directory writes nothing,
// so a stored one is kept.
void SaveOptions(QSettings& settings, const Options& options);

} // namespace cantrix
