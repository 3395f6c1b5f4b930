#pragma once
// The command line of the terminal front end: `cantrix --encode [options] FILE...`.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cantrix {

enum class Preset { Lowest, Modem, Isdn };

struct HeadlessOptions {
    std::vector<std::string> inputs;
    std::optional<Preset> preset;      // none: the default for the codec's edition
    std::optional<std::string> format; // a catalogue index or an exact description
    bool listFormats = false;
    bool writeRiff = true;
    std::string output;        // only with one input
    std::string conversionDir; // empty: beside each input
    unsigned jobs = 1;
    unsigned threads = 1; // encoder threads of the whole run, shared by its conversions
    bool quiet = false;
    bool overwrite = false;
    bool help = false;
    bool version = false;
};

// What the saved options and the machine contribute before the command line is read.
struct HeadlessDefaults {
    bool writeRiff = true;
    std::string conversionDir;
    unsigned jobs = 1;
    unsigned threads = 1;
};

struct ParseResult {
    HeadlessOptions options;
    std::string error; // non-empty: a usage error, to be shown with the usage line
};

// `arguments` are those after "--encode".
ParseResult ParseHeadlessArguments(const std::vector<std::string>& arguments,
                                   const HeadlessDefaults& defaults);

std::string HeadlessUsage();

} // namespace cantrix
