#pragma once
// The files of a terminal run: the command line's files, with each folder replaced by the WAV
// files below it.
#include <string>
#include <vector>

namespace cantrix {

struct RunInput {
    std::string path;
    // Where the file lies below a folder named on the command line, so that its output can mirror
    // it below the conversion directory; empty for a file named itself and for the folder's top.
    std::string subfolder;
    // Non-empty: a folder that could not be read, reported as a failed input.
    std::string error;
};

// Each folder among `arguments` stands for the files below it, at any depth, whose names end in
// ".wav" in any case, in sorted order; other files there are skipped. Links to files count; links
// to folders are not followed, so links that loop cannot make the walk endless. Other arguments
// pass unchanged. `emptyFolders` gets each folder that holds no such file.
std::vector<RunInput> ExpandInputs(const std::vector<std::string>& arguments,
                                   std::vector<std::string>& emptyFolders);

} // namespace cantrix
