#pragma once
// The command line of the terminal front end: `cantrix --encode [options] FILE...`.
#include "audio/audio_tags.h"
#include "codec/quality_presets.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cantrix {

// "-" as an input or output path: standard input or standard output.
inline constexpr const char* kStandardStream = "-";

struct HeadlessOptions {
    std::vector<std::string> inputs;
    std::optional<Preset> preset;      // none: the default for the codec's edition
    std::optional<std::string> format; // a catalogue index or an exact description
    bool listFormats = false;
    bool writeRiff = true;
    std::string output;        // only with one input; "-": standard output
    std::string conversionDir; // empty: beside each input
    unsigned jobs = 1;
    unsigned threads = 1; // encoder threads of the whole run, shared by its conversions
    TagOverrides tags;    // set over every input's tags
    bool quiet = false;
    bool overwrite = false;
    bool skipExisting = false; // an output that exists counts as converted
    bool help = false;
    bool version = false;
};

// What the saved options and the machine contribute before the command line is read.
struct HeadlessDefaults {
    bool writeRiff = true;
    std::string conversionDir;
    unsigned jobs = 1;
    unsigned threads = 1;
    // Whether a path leads to standard output's own file; none: only "-" does.
    bool (*namesStandardOutput)(const std::string& path) = nullptr;
};

struct ParseResult {
    HeadlessOptions options;
    std::string error; // non-empty: a usage error
};

// `arguments` are those after "--encode".
ParseResult ParseHeadlessArguments(const std::vector<std::string>& arguments,
                                   const HeadlessDefaults& defaults);

// The text of --help: both ways to run and every option of the terminal mode. The man page is
// made from it.
std::string HelpText();

// Prints a usage error the way the terminal mode does (the problem, then where help is) and
// returns the exit status for it.
int ReportUsageError(const std::string& problem, const char* helpCommand = "cantrix --encode --help");

} // namespace cantrix
