#pragma once
// The rules that name an output file. Pure functions on paths in the file system's own bytes,
// shared by the window and the terminal front end so both name files the same way.
#include <string>

namespace cantrix {

// The output path for a freshly loaded input. Without a conversion directory the output sits
// beside the input: "song.wav" gives "song Layer-3.wav" (RIFF) or "song.mp3" (raw); any other
// name gets " Layer-3.wav" or ".mp3" appended. With one, it is the directory, the input's name
// without its extension and ".wav" or ".mp3".
std::string DeriveOutputPath(const std::string& inputPath, bool writeRiff, const std::string& conversionDir);

// The output path with its extension swapped to ".wav" (RIFF) or ".mp3"; empty stays empty.
std::string ReplaceOutputExtension(const std::string& outputPath, bool writeRiff);

// The output path moved into the conversion directory, its name kept; unchanged when either is
// empty.
std::string RebaseOutputPath(const std::string& outputPath, const std::string& conversionDir);

} // namespace cantrix
