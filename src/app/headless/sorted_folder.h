#pragma once
// The names in one folder in byte order, read in batches: each batch reads the folder again for
// the next smallest names, so that a folder of any size costs a bounded amount of memory. A folder
// is read at most about kMaxPasses times, whatever its size.
#include <cstddef>
#include <string>
#include <vector>

namespace cantrix {

class SortedFolder {
public:
    explicit SortedFolder(std::string path) : path(std::move(path)) {}

    // The next name ("." and ".." left out); false at the end, or when the folder could not be
    // read (Error() then says why).
    bool Next(std::string& name);
    const std::string& Error() const { return error; }
    const std::string& Path() const { return path; }

private:
    bool ReadBatch();

    std::string path;
    std::string error;
    std::vector<std::string> batch; // in byte order
    std::string last;               // the largest name read so far
    std::size_t position = 0;
    std::size_t batchLimit;
    bool started = false;
    bool ended = false;
};

} // namespace cantrix
