#include "app/headless/input_expansion.h"

#include "app/headless/headless_options.h"
#include "platform/riff_file.h"
#include "platform/wave_format.h"

#include <algorithm>
#include <sys/stat.h>

namespace cantrix {

namespace {
// Standard input's own file, for the check that no output replaces an input.
constexpr const char* kStandardInputPath = "/proc/self/fd/0";

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}
} // namespace

bool NameEndsInWav(const std::string& name)
{
    constexpr std::string_view kExtension = ".wav";
    if (name.size() < kExtension.size())
        return false;
    return std::equal(
        kExtension.begin(), kExtension.end(), name.end() - kExtension.size(),
        [](char wanted, char c) { return wanted == (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
}

bool HoldsLayer3(const std::string& file)
{
    RiffFile riff;
    MMCKINFO form{};
    form.fccType = kFourCCWave;
    MMCKINFO format{};
    format.ckid = kFourCCFmt;
    unsigned char tag[2] = {};
    return riff.Open(file, OpenMode::Read) == mmresult::kNoError &&
           riff.Descend(form, nullptr, DescendFlag::FindRiff) == mmresult::kNoError &&
           riff.Descend(format, &form, DescendFlag::FindChunk) == mmresult::kNoError &&
           riff.Read(tag, sizeof tag) == sizeof tag && (tag[0] | tag[1] << 8) == kWaveFormatMpegLayer3;
}

bool InputWalk::Next(RunInput& file)
{
    for (;;) {
        if (levels.empty()) {
            if (nextArgument == arguments.size())
                return false;
            const std::string& argument = arguments[nextArgument++];
            struct stat status {};
            const bool found =
                ::stat(argument == kStandardStream ? kStandardInputPath : argument.c_str(), &status) == 0;
            if (argument == kStandardStream || !found || !S_ISDIR(status.st_mode)) {
                file = {argument, "", "", found ? std::optional(IdentityOf(status)) : std::nullopt, true};
                return true;
            }
            ++folders;
            namedFolder = argument;
            foundBelow = 0;
            levels.push_back({SortedFolder(argument), ""});
            continue;
        }
        Level& level = levels.back();
        std::string name;
        if (!level.listing.Next(name)) {
            RunInput failure;
            if (!level.listing.Error().empty())
                failure = {level.listing.Path(),
                           "",
                           "the folder could not be read: " + level.listing.Error(),
                           {},
                           false};
            levels.pop_back();
            foundBelow += failure.error.empty() ? 0 : 1;
            if (levels.empty() && foundBelow == 0)
                emptyFolders.push_back(namedFolder);
            if (failure.error.empty())
                continue;
            file = std::move(failure);
            return true;
        }
        const std::string entry = Join(level.listing.Path(), name);
        struct stat named {
        }, status{};
        if (::lstat(entry.c_str(), &named) == 0 && S_ISDIR(named.st_mode)) {
            levels.push_back({SortedFolder(entry), Join(level.subfolder, name)});
            continue;
        }
        if (!NameEndsInWav(name) || ::stat(entry.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        ++foundBelow;
        if (leaveOutLayer3 && HoldsLayer3(entry)) {
            ++alreadyEncoded;
            continue;
        }
        file = {entry, level.subfolder,
                "",    IdentityOf(status),
                false, S_ISLNK(named.st_mode) || status.st_nlink > 1};
        return true;
    }
}

} // namespace cantrix
