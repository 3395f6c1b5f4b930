#include "app/headless/input_expansion.h"

#include "app/headless/headless_options.h"

#include <algorithm>
#include <filesystem>

namespace cantrix {

namespace {
namespace fs = std::filesystem;

bool NameEndsInWav(const std::string& name)
{
    constexpr std::string_view kExtension = ".wav";
    if (name.size() < kExtension.size())
        return false;
    return std::equal(
        kExtension.begin(), kExtension.end(), name.end() - kExtension.size(),
        [](char wanted, char c) { return wanted == (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
}

// Depth first, each folder's entries in byte order, so the order is the same on every run.
void CollectWavFiles(const fs::path& folder, const fs::path& subfolder, std::vector<RunInput>& files)
{
    std::error_code error;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    if (error) {
        files.push_back({folder.string(), "", "the folder could not be read: " + error.message()});
        return;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        std::error_code ignored;
        if (fs::is_directory(fs::symlink_status(entry, ignored)))
            CollectWavFiles(entry, subfolder / entry.filename(), files);
        else if (NameEndsInWav(entry.filename().string()) && fs::is_regular_file(fs::status(entry, ignored)))
            files.push_back({entry.string(), subfolder.string(), ""});
    }
}
} // namespace

std::vector<RunInput> ExpandInputs(const std::vector<std::string>& arguments,
                                   std::vector<std::string>& emptyFolders)
{
    std::vector<RunInput> files;
    for (const std::string& argument : arguments) {
        std::error_code ignored;
        if (argument == kStandardStream || !fs::is_directory(argument, ignored)) {
            files.push_back({argument, "", ""});
            continue;
        }
        const std::size_t before = files.size();
        CollectWavFiles(argument, "", files);
        if (files.size() == before)
            emptyFolders.push_back(argument);
    }
    return files;
}

} // namespace cantrix
