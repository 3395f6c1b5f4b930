#include "app/headless/headless_options.h"

#include <charconv>

namespace cantrix {

namespace {
constexpr unsigned kMaxJobs = 256;

bool ParseCount(const std::string& text, unsigned& value)
{
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && rest == end;
}

// A folder as the folder chooser stores it: no trailing separator, except the root itself.
std::string WithoutTrailingSeparators(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}
} // namespace

std::string HeadlessUsage()
{
    return "Usage: cantrix --encode [options] FILE...\n"
           "Converts PCM WAV files to MPEG Layer-3, several at once.\n"
           "\n"
           "  --preset lowest|modem|isdn  quality preset (default: isdn; modem where the codec\n"
           "                              edition offers no ISDN preset)\n"
           "  --format N|TEXT             a format of the file's catalogue, by index or by its exact\n"
           "                              description (see --list-formats)\n"
           "  --list-formats              print each file's catalogue and the presets' choices;\n"
           "                              converts nothing\n"
           "  --raw                       write a raw Layer-3 stream (.mp3)\n"
           "  --riff                      write a RIFF/WAVE file with Layer-3 data (.wav)\n"
           "                              (default: the saved \"Write RIFF/WAV-Format Files\" option)\n"
           "  --output PATH               the output file (one input only)\n"
           "  --dir DIR                   conversion directory for this run (default: the saved one)\n"
           "  --overwrite                 replace output files that already exist\n"
           "  --jobs N                    conversions at once (default: the number of cores)\n"
           "  --threads N                 encoder threads that the conversions share; a long file\n"
           "                              is split over them (default: the number of cores); the\n"
           "                              output is the same for every N\n"
           "  --quiet                     no progress and no summary of converted files\n"
           "  --help, --version\n"
           "\n"
           "Exit status: 0 all converted, 1 some failed, 2 usage error, 130 interrupted.\n";
}

ParseResult ParseHeadlessArguments(const std::vector<std::string>& arguments,
                                   const HeadlessDefaults& defaults)
{
    ParseResult result;
    HeadlessOptions& options = result.options;
    options.writeRiff = defaults.writeRiff;
    options.conversionDir = WithoutTrailingSeparators(defaults.conversionDir);
    options.jobs = defaults.jobs;
    options.threads = defaults.threads;

    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size() && result.error.empty(); ++i) {
        std::string argument = arguments[i];
        if (onlyFiles || argument.empty() || argument[0] != '-' || argument == "-") {
            options.inputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyFiles = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            argument.resize(equals);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            result.error = argument + " needs a value";
            return std::nullopt;
        };
        auto flag = [&](bool& target, bool setting) {
            if (inlineValue)
                result.error = argument + " takes no value";
            target = setting;
        };

        if (argument == "--preset") {
            const auto name = value();
            if (!name)
                break;
            if (*name == "lowest")
                options.preset = Preset::Lowest;
            else if (*name == "modem")
                options.preset = Preset::Modem;
            else if (*name == "isdn")
                options.preset = Preset::Isdn;
            else
                result.error = "unknown preset \"" + *name + "\" (lowest, modem or isdn)";
        } else if (argument == "--format") {
            if (const auto format = value())
                options.format = *format;
        } else if (argument == "--output") {
            if (const auto output = value())
                options.output = *output;
            if (options.output.empty() && result.error.empty())
                result.error = "--output needs a file name";
        } else if (argument == "--dir") {
            if (const auto folder = value())
                options.conversionDir = WithoutTrailingSeparators(*folder);
        } else if (argument == "--jobs") {
            const auto count = value();
            if (count && (!ParseCount(*count, options.jobs) || options.jobs == 0 || options.jobs > kMaxJobs))
                result.error = "--jobs needs a number from 1 to " + std::to_string(kMaxJobs);
        } else if (argument == "--threads") {
            const auto count = value();
            if (count &&
                (!ParseCount(*count, options.threads) || options.threads == 0 || options.threads > kMaxJobs))
                result.error = "--threads needs a number from 1 to " + std::to_string(kMaxJobs);
        } else if (argument == "--list-formats") {
            flag(options.listFormats, true);
        } else if (argument == "--raw") {
            flag(options.writeRiff, false);
        } else if (argument == "--riff") {
            flag(options.writeRiff, true);
        } else if (argument == "--quiet") {
            flag(options.quiet, true);
        } else if (argument == "--overwrite") {
            flag(options.overwrite, true);
        } else if (argument == "--help") {
            flag(options.help, true);
        } else if (argument == "--version") {
            flag(options.version, true);
        } else {
            result.error = "unknown option " + argument;
        }
    }

    if (!result.error.empty() || options.help || options.version)
        return result;
    if (options.inputs.empty())
        result.error = "no input file given";
    else if (options.preset && options.format)
        result.error = "--preset and --format exclude each other";
    else if (!options.output.empty() && options.inputs.size() != 1)
        result.error = "--output takes exactly one input file";
    return result;
}

} // namespace cantrix
