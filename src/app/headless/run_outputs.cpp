#include "app/headless/run_outputs.h"

#include "audio/output_naming.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace cantrix {

namespace {
namespace fs = std::filesystem;

// Half the bits of the name's hash: two names that share one only cost a claim remembered in full.
std::uint32_t KeyHash(const std::string& key)
{
    const std::size_t hash = std::hash<std::string>{}(key);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}
} // namespace

PlannedOutput PlanOutput(const RunInput& file, const HeadlessOptions& options)
{
    if (!options.output.empty())
        return {options.output, ""};
    // A file found in a sub-folder of a folder named on the command line has its output in the
    // same sub-folder below the conversion directory.
    std::string folder = options.conversionDir;
    if (!folder.empty() && !file.subfolder.empty())
        folder = (fs::path(folder) / file.subfolder).string();
    return {DeriveOutputPath(file.path, options.writeRiff, folder), folder};
}

// The output's folder, as far as it exists, with links and dots resolved, so that two spellings of
// one output are one claim; the name itself is not followed, since a link there is replaced. The
// same output gives the same key before the run and during it, when its folder may have been made.
// A run's outputs come folder by folder, so the last folder resolved is kept.
std::string RunOutputs::OutputKey(const std::string& output)
{
    if (output == kStandardStream)
        return output;
    const fs::path path(output);
    if (path.parent_path() != resolvedFrom) {
        std::error_code ignored;
        resolvedFrom = path.parent_path();
        resolvedFolder = fs::weakly_canonical(fs::absolute(resolvedFrom, ignored), ignored);
    }
    return (resolvedFolder / path.filename()).string();
}

void RunOutputs::Survey(const HeadlessOptions& options)
{
    InputWalk walk(options.inputs, false);
    std::deque<std::uint32_t> keys;
    RunInput file;
    while (walk.Next(file)) {
        if (file.identity && (file.named || file.aliased))
            (file.named ? named : aliased).Insert(*file.identity);
        if (file.error.empty())
            keys.push_back(KeyHash(OutputKey(PlanOutput(file, options).path)));
    }
    named.Seal();
    aliased.Seal();
    for (const std::string& argument : options.inputs) {
        std::error_code ignored;
        if (argument != kStandardStream && fs::is_directory(argument, ignored))
            walkedFolders.push_back(fs::canonical(argument, ignored));
    }
    std::sort(keys.begin(), keys.end());
    for (auto it = keys.begin(); (it = std::adjacent_find(it, keys.end())) != keys.end();
         it = std::upper_bound(it, keys.end(), *it))
        sharedOutputs.push_back(*it);
    folders = walk.Folders();
    emptyFolders = walk.EmptyFolders();
}

bool RunOutputs::IsInput(const std::string& output) const
{
    struct stat status {};
    if (::stat(output.c_str(), &status) != 0)
        return false;
    if (named.Contains(IdentityOf(status)))
        return true;
    if (!S_ISREG(status.st_mode))
        return false;
    // A file with one name that no link leads to in a folder is found only by its own path.
    bool found = aliased.Contains(IdentityOf(status));
    if (!found && status.st_nlink == 1) {
        std::error_code ignored;
        const fs::path path = fs::canonical(output, ignored);
        found = NameEndsInWav(path.filename().string()) &&
                std::any_of(walkedFolders.begin(), walkedFolders.end(), [&path](const fs::path& folder) {
                    const auto [end, at] =
                        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
                    return end == folder.end() && at != path.end();
                });
    }
    // A Layer-3 file in a folder is no input: the walk leaves it out.
    return found && !HoldsLayer3(output);
}

RunOutputs::Claim RunOutputs::ClaimOutput(const std::string& output, const RunInput& input)
{
    const std::string key = OutputKey(output);
    if (!std::binary_search(sharedOutputs.begin(), sharedOutputs.end(), KeyHash(key)))
        return Claim::Free;
    const auto [claim, first] = claims.try_emplace(key, input.identity);
    if (first)
        return Claim::Free;
    return claim->second == input.identity ? Claim::NamedTwice : Claim::Taken;
}

} // namespace cantrix
