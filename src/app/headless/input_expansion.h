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

struct ExpandedInputs {
    std::vector<RunInput> files;
    std::size_t folders = 0;               // folders among the arguments
    std::vector<std::string> emptyFolders; // those that hold no .wav file at all
    // Layer-3 RIFF files found in the folders: outputs of this program, left out.
    std::size_t alreadyEncoded = 0;

    // Folders were named, and none held a .wav file.
    bool FoldersHeldNothing() const { return folders > 0 && emptyFolders.size() == folders; }
};

// Each folder among `arguments` stands for the files below it, at any depth, whose names end in
// ".wav" in any case, in sorted order; other files there are skipped, and so are RIFF files of
// Layer-3 data (format tag 0x0055), which this program wrote. Links to files count; links to
// folders are not followed, so links that loop cannot make the walk endless. Other arguments pass
// unchanged.
ExpandedInputs ExpandInputs(const std::vector<std::string>& arguments);

} // namespace cantrix
