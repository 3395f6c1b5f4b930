#include "app/headless/input_expansion.h"

#include "app/headless/headless_options.h"
#include "platform/riff_file.h"
#include "platform/wave_format.h"

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

// A RIFF/WAVE file whose "fmt " chunk starts with the Layer-3 tag.
bool HoldsLayer3(const fs::path& file)
{
    RiffFile riff;
    MMCKINFO form{};
    form.fccType = kFourCCWave;
    MMCKINFO format{};
    format.ckid = kFourCCFmt;
    unsigned char tag[2] = {};
    return riff.Open(file.string(), OpenMode::Read) == mmresult::kNoError &&
           riff.Descend(form, nullptr, DescendFlag::FindRiff) == mmresult::kNoError &&
           riff.Descend(format, &form, DescendFlag::FindChunk) == mmresult::kNoError &&
           riff.Read(tag, sizeof tag) == sizeof tag && (tag[0] | tag[1] << 8) == kWaveFormatMpegLayer3;
}

// Depth first, each folder's entries in byte order, so the order is the same on every run.
void CollectWavFiles(const fs::path& folder, const fs::path& subfolder, ExpandedInputs& found)
{
    std::vector<RunInput>& files = found.files;
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
            CollectWavFiles(entry, subfolder / entry.filename(), found);
        else if (NameEndsInWav(entry.filename().string()) &&
                 fs::is_regular_file(fs::status(entry, ignored))) {
            if (HoldsLayer3(entry))
                ++found.alreadyEncoded;
            else
                files.push_back({entry.string(), subfolder.string(), ""});
        }
    }
}
} // namespace

ExpandedInputs ExpandInputs(const std::vector<std::string>& arguments)
{
    ExpandedInputs found;
    for (const std::string& argument : arguments) {
        std::error_code ignored;
        if (argument == kStandardStream || !fs::is_directory(argument, ignored)) {
            found.files.push_back({argument, "", ""});
            continue;
        }
        ++found.folders;
        const std::size_t before = found.files.size() + found.alreadyEncoded;
        CollectWavFiles(argument, "", found);
        if (found.files.size() + found.alreadyEncoded == before)
            found.emptyFolders.push_back(argument);
    }
    return found;
}

} // namespace cantrix
