#include "app/headless/headless_options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace cantrix {

namespace {
constexpr unsigned kMaxJobs = 256;
constexpr int kUsageStatus = 2;

bool ParseCount(const std::string& text, unsigned& value)
{
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && rest == end;
}

// The options that set a tag, with the names lame users know.
struct TagOption {
    const char* name;
    const char* alias;
    TagField field;
};
constexpr TagOption kTagOptions[] = {
    {"--title", "--tt", TagField::Title},     {"--artist", "--ta", TagField::Artist},
    {"--album", "--tl", TagField::Album},     {"--year", "--ty", TagField::Date},
    {"--track", "--tn", TagField::Track},     {"--genre", "--tg", TagField::Genre},
    {"--comment", "--tc", TagField::Comment},
};

bool IsNumber(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What a tag option's value must look like; empty when it does (an empty value removes the tag).
std::string TagValueProblem(TagField field, std::string_view text)
{
    if (text.empty())
        return {};
    const std::size_t slash = text.find('/');
    if (field == TagField::Track &&
        !(IsNumber(text.substr(0, slash)) && (slash == text.npos || IsNumber(text.substr(slash + 1)))))
        return "--track needs N or N/M (track number and count)";
    const bool isDate = text.size() == 10 && text[4] == '-' && text[7] == '-' &&
                        IsNumber(text.substr(0, 4)) && IsNumber(text.substr(5, 2)) &&
                        IsNumber(text.substr(8, 2));
    if (field == TagField::Date && !(isDate || (text.size() == 4 && IsNumber(text))))
        return "--year needs YYYY or YYYY-MM-DD";
    return {};
}

// A folder as the folder chooser stores it: no trailing separator, except the root itself.
std::string WithoutTrailingSeparators(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}
} // namespace

std::string HelpText()
{
    return "Usage: cantrix [FILE]\n"
           "  or:  cantrix --encode [OPTION]... FILE...\n"
           "Converts PCM WAV files to MPEG Layer-3: a raw .mp3 stream, or the same stream\n"
           "inside a RIFF/WAVE .wav file.\n"
           "\n"
           "Without --encode, Cantrix opens its window, with FILE loaded if one is named\n"
           "(a file whose name begins with a dash is named as ./FILE). With --encode it\n"
           "converts from the terminal, several files at once. A FILE that is a folder\n"
           "stands for every .wav file below it, in sorted order. A FILE of \"-\" is a WAV\n"
           "read from standard input, also a stream of unknown length from a pipe; it is\n"
           "first copied to an unlinked temporary file in $TMPDIR (or /tmp), since the\n"
           "input is read twice.\n"
           "\n"
           "An output is written under a hidden temporary name in its folder\n"
           "(.NAME.cantrix-PID-N.part) and takes its own name only once its conversion has\n"
           "finished, so an output's name only ever holds a complete file: a conversion\n"
           "that fails, is cancelled or is killed publishes nothing. The next run into\n"
           "that folder removes what a killed run left. The conversion writes through the\n"
           "file it created, and a link under the output's name is replaced, never\n"
           "followed, so a run writes nothing outside the names it publishes, whoever\n"
           "else can write into the folder. A device or FIFO named with --output (such as\n"
           "/dev/null) is written in place. No output replaces an input of the same run,\n"
           "a file named twice is converted once, and folders leave out Layer-3 WAV files\n"
           "(this program's own outputs). --output - streams to standard output as it\n"
           "converts; so does any other name of standard output (/dev/stdout).\n"
           "\n"
           "An output carries the tags of its input (its LIST/INFO, id3 and bext chunks):\n"
           "a raw stream in an ID3v2.3 tag before its frames, also on standard output, a\n"
           "RIFF/WAVE file in LIST/INFO and id3 chunks after its data.\n"
           "\n"
           "Options of the terminal mode:\n"
           "  --preset lowest|modem|isdn  quality preset (default: isdn; modem where the\n"
           "                              codec edition offers no ISDN preset)\n"
           "  --format N|TEXT             a format of the file's catalogue, by index or by\n"
           "                              its exact description (see --list-formats)\n"
           "  --list-formats              print each file's catalogue and the presets'\n"
           "                              choices; converts nothing\n"
           "  --raw                       write a raw Layer-3 stream (.mp3)\n"
           "  --riff                      write a RIFF/WAVE file with Layer-3 data (.wav)\n"
           "                              (default: the saved \"Write RIFF/WAV-Format Files\"\n"
           "                              option; raw with --output -)\n"
           "  --output PATH               the output file (one input only); \"-\" writes the\n"
           "                              stream to standard output, and all messages to\n"
           "                              standard error. That stream has no tag frame (a\n"
           "                              pipe cannot be written again at its front), so it\n"
           "                              decodes to N + 576 samples for N input samples (the\n"
           "                              encoder's delay in front) plus the last frame's\n"
           "                              padding; an .mp3 file decodes to exactly N\n"
           "  --dir DIR                   conversion directory for this run (default: the\n"
           "                              saved one), made when missing; a folder's\n"
           "                              sub-folders are mirrored below it\n"
           "  --overwrite                 replace output files that already exist (a link\n"
           "                              there is replaced, not followed); a conversion\n"
           "                              that fails leaves the old file\n"
           "  --skip-existing             leave output files that already exist alone and\n"
           "                              count them as converted: a regular file that\n"
           "                              holds something; an empty one is replaced, and a\n"
           "                              folder or a link to nothing fails\n"
           "  --jobs N                    conversions at once (default: the number of cores)\n"
           "  --threads N                 encoder threads that the conversions share; a long file\n"
           "                              is split over them (default: the number of cores); the\n"
           "                              output is the same for every N\n"
           "  --title, --tt TEXT          set the title of every output of the run; an\n"
           "                              empty TEXT removes it (and so on below)\n"
           "  --artist, --ta TEXT         set the artist\n"
           "  --album, --tl TEXT          set the album\n"
           "  --year, --ty YYYY[-MM-DD]   set the year, or the date\n"
           "  --track, --tn N[/M]         set the track number, and the number of tracks\n"
           "  --genre, --tg TEXT          set the genre\n"
           "  --comment, --tc TEXT        set the comment\n"
           "  --no-tags                   write no tags, not even the input's\n"
           "  --quiet                     no progress and no summary of converted files\n"
           "  --help                      print this help and exit\n"
           "  --version                   print the version and exit\n"
           "\n"
           "Exit status:\n"
           "  0    every file was converted (or skipped)\n"
           "  1    some file could not be converted, or no folder named holds a .wav file\n"
           "  2    usage error\n"
           "  130  interrupted by Ctrl-C (SIGINT); 143 by SIGTERM, 129 by SIGHUP: the\n"
           "       running conversions are cancelled and publish nothing, also when\n"
           "       their output is blocked (a reader that stopped, a FIFO without one)\n"
           "  141  standard output was closed before the stream ended (--output -)\n";
}

int ReportUsageError(const std::string& problem, const char* helpCommand)
{
    std::fprintf(stderr, "cantrix: %s\nTry '%s'.\n", problem.c_str(), helpCommand);
    return kUsageStatus;
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
    bool containerGiven = false;
    std::string tagOptionGiven;
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

        const auto tagOption =
            std::find_if(std::begin(kTagOptions), std::end(kTagOptions), [&](const TagOption& option) {
                return argument == option.name || argument == option.alias;
            });
        if (tagOption != std::end(kTagOptions)) {
            if (const auto text = value()) {
                result.error = TagValueProblem(tagOption->field, *text);
                options.tags.fields[static_cast<std::size_t>(tagOption->field)] =
                    DecodeTagText(reinterpret_cast<const unsigned char*>(text->data()), text->size());
                tagOptionGiven = argument;
            }
        } else if (argument == "--no-tags") {
            flag(options.tags.dropAll, true);
        } else if (argument == "--preset") {
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
        } else if (argument == "--raw" || argument == "--riff") {
            flag(options.writeRiff, argument == "--riff");
            containerGiven = true;
        } else if (argument == "--quiet") {
            flag(options.quiet, true);
        } else if (argument == "--overwrite") {
            flag(options.overwrite, true);
        } else if (argument == "--skip-existing") {
            flag(options.skipExisting, true);
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
    // Standard output by another name is standard output: the stream alone goes there.
    if (!options.output.empty() && options.output != kStandardStream &&
        defaults.namesStandardOutput != nullptr && defaults.namesStandardOutput(options.output))
        options.output = kStandardStream;
    // Standard output holds the stream only: a container needs a file it can seek in, so only an
    // explicit --riff asks for one there.
    if (options.output == kStandardStream && !containerGiven)
        options.writeRiff = false;
    const auto readsStandardInput = std::count(options.inputs.begin(), options.inputs.end(), kStandardStream);
    if (options.inputs.empty())
        result.error = "no input file given";
    else if (options.preset && options.format)
        result.error = "--preset and --format exclude each other";
    else if (options.tags.dropAll && !tagOptionGiven.empty())
        result.error = "--no-tags and " + tagOptionGiven + " exclude each other";
    else if (options.overwrite && options.skipExisting)
        result.error = "--overwrite and --skip-existing exclude each other";
    else if (!options.output.empty() && options.inputs.size() != 1)
        result.error = "--output takes exactly one input file";
    else if (readsStandardInput > 1)
        result.error = "standard input (-) can be read only once";
    else if (readsStandardInput == 1 && options.output.empty() && !options.listFormats)
        result.error = "standard input (-) needs --output FILE, or --output - for standard output";
    return result;
}

} // namespace cantrix
