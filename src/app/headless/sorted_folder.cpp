#include "app/headless/sorted_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <string_view>

namespace cantrix {

namespace {
// A batch holds at least this many names (a few hundred KiB at most), and a folder with more
// than kMaxPasses times as many gets larger batches, so that it is never read more often.
constexpr std::size_t kMinBatch = 4096;
constexpr std::size_t kMaxPasses = 16;
} // namespace

bool SortedFolder::Next(std::string& name)
{
    if (position == batch.size() && (ended || !ReadBatch()))
        return false;
    name = std::move(batch[position++]);
    return true;
}

bool SortedFolder::ReadBatch()
{
    const std::size_t limit = started ? batchLimit : kMinBatch;
    DIR* listing = ::opendir(path.c_str());
    if (listing == nullptr) {
        error = std::strerror(errno);
        ended = true;
        return false;
    }
    // A max-heap of the smallest `limit` names after the last one given, in the room of the batch
    // given before, so that one batch's memory is all a folder costs.
    std::vector<std::string> smallest = std::move(batch);
    smallest.clear();
    smallest.reserve(limit);
    std::size_t entries = 0;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        ++entries;
        if (started && name <= last)
            continue;
        if (smallest.size() < limit) {
            smallest.emplace_back(name);
            std::push_heap(smallest.begin(), smallest.end());
        } else if (name < smallest.front()) {
            std::pop_heap(smallest.begin(), smallest.end());
            smallest.back() = name;
            std::push_heap(smallest.begin(), smallest.end());
        }
    }
    const int readError = errno;
    ::closedir(listing);
    if (readError != 0) {
        error = std::strerror(readError);
        ended = true;
        return false;
    }
    std::sort_heap(smallest.begin(), smallest.end());
    batch = std::move(smallest);
    position = 0;
    batchLimit = std::max(kMinBatch, entries / kMaxPasses + 1);
    // A batch that did not fill up held every name that was left.
    ended = batch.size() < limit;
    started = true;
    if (batch.empty())
        return false;
    last = batch.back();
    return true;
}

} // namespace cantrix
