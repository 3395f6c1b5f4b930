#pragma once
// The files of a terminal run: the command line's files, with each folder replaced by the WAV
// files below it, given one at a time, so that a run over any number of files holds only the
// folders it is in.
#include "app/headless/file_identity.h"
#include "app/headless/sorted_folder.h"

#include <optional>
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
    // The file as the walk found it (standard input's own for "-"); none when it does not exist.
    std::optional<FileIdentity> identity;
    // Named on the command line, not found in a folder.
    bool named = false;
    // Found in a folder through a link, or a file with more than one name: its path alone does
    // not tell which file it is.
    bool aliased = false;
};

// Whether a file's name ends in ".wav", in any letter case: a folder's files that are inputs.
bool NameEndsInWav(const std::string& name);

// Whether `file` is a RIFF/WAVE file whose "fmt " chunk starts with the Layer-3 tag: this program's
// own output.
bool HoldsLayer3(const std::string& file);

// Each folder among the arguments stands for the files below it, at any depth, whose names end in
// ".wav" in any case, in sorted order; other files there are skipped. Links to files count; links
// to folders are not followed, so links that loop cannot make the walk endless. Other arguments
// pass unchanged.
class InputWalk {
public:
    // With `leaveOutLayer3`, RIFF files of Layer-3 data (format tag 0x0055), which this program
    // wrote, are read and left out of the folders' files; without it every .wav file there is
    // given, unread.
    InputWalk(const std::vector<std::string>& arguments, bool leaveOutLayer3)
        : arguments(arguments), leaveOutLayer3(leaveOutLayer3)
    {
    }

    // The next file in run order; false once all have been given.
    bool Next(RunInput& file);

    // Folders among the arguments walked so far.
    std::size_t Folders() const { return folders; }
    // Those that hold no .wav file at all; complete once Next has returned false.
    const std::vector<std::string>& EmptyFolders() const { return emptyFolders; }
    // Folders were named, and none held a .wav file.
    bool FoldersHeldNothing() const { return folders > 0 && emptyFolders.size() == folders; }
    // Layer-3 RIFF files left out so far.
    std::size_t AlreadyEncoded() const { return alreadyEncoded; }

private:
    struct Level {
        SortedFolder listing;
        std::string subfolder;
    };

    const std::vector<std::string>& arguments;
    const bool leaveOutLayer3;
    std::size_t nextArgument = 0;
    std::vector<Level> levels; // the folders being walked, the named one first
    std::string namedFolder;
    std::size_t foundBelow = 0; // .wav files (and failures) below the named folder being walked
    std::size_t folders = 0;
    std::vector<std::string> emptyFolders;
    std::size_t alreadyEncoded = 0;
};

} // namespace cantrix
