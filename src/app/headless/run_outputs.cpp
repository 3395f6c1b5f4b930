#include "app/headless/run_outputs.h"

#include "ui/output_naming.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>

namespace cantrix {

namespace {
namespace fs = std::filesystem;

// The output's folder, as far as it exists, with links and dots resolved, so that two spellings of
// one output are one claim; the name itself is not followed, since a link there is replaced. The
// same output gives the same key before the run and during it, when its folder may have been made.
std::string OutputKey(const std::string& output)
{
    if (output == kStandardStream)
        return output;
    std::error_code ignored;
    const fs::path path = fs::absolute(output, ignored);
    return (fs::weakly_canonical(path.parent_path(), ignored) / path.filename()).string();
}

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

void RunOutputs::Survey(const HeadlessOptions& options)
{
    InputWalk walk(options.inputs, false);
    std::deque<std::uint32_t> keys;
    RunInput file;
    while (walk.Next(file)) {
        if (file.identity)
            (file.named ? named : found).Insert(*file.identity);
        if (file.error.empty())
            keys.push_back(KeyHash(OutputKey(PlanOutput(file, options).path)));
    }
    named.Seal();
    found.Seal();
    std::sort(keys.begin(), keys.end());
    for (auto it = keys.begin(); (it = std::adjacent_find(it, keys.end())) != keys.end();
         it = std::upper_bound(it, keys.end(), *it))
        sharedOutputs.push_back(*it);
    folders = walk.Folders();
    emptyFolders = walk.EmptyFolders();
}

bool RunOutputs::IsInput(const std::string& output) const
{
    const std::optional<FileIdentity> file = IdentifyFile(output);
    // A Layer-3 file in a folder is no input: the walk leaves it out.
    return file && (named.Contains(*file) || (found.Contains(*file) && !HoldsLayer3(output)));
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
