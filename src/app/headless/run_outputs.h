#pragma once
// What the files of one run share while they settle their outputs. The run surveys all its inputs
// once before the first file starts, and keeps of them only what the checks need: the identities
// of the files named and of those found through a link or under several names, and the folders
// walked, so that no output replaces an input; and, while it surveys, a hash of each output's
// name, so that the few outputs that more than one file would write are known. Files then start
// one at a time as they are walked, and the memory of a run does not grow with its files.
#include "app/headless/file_identity_set.h"
#include "app/headless/headless_options.h"
#include "app/headless/input_expansion.h"
#include "app/headless/pending_output.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cantrix {

struct PlannedOutput {
    std::string path;   // as the user sees it
    std::string folder; // the conversion directory of this file; empty: beside its input
};

// Where `file` is converted to.
PlannedOutput PlanOutput(const RunInput& file, const HeadlessOptions& options);

class RunOutputs {
public:
    // Walks every input of the run once.
    void Survey(const HeadlessOptions& options);

    // Whether the file that `output` leads to is an input of the run.
    bool IsInput(const std::string& output) const;

    enum class Claim {
        Free,       // no file before this one writes `output`
        NamedTwice, // the same input, named again, already writes it
        Taken,      // another input of the run writes it
    };
    // Claims `output` for `input`, which is given the run's files in order.
    Claim ClaimOutput(const std::string& output, const RunInput& input);

    LeftoverSweep& Leftovers() { return leftovers; }
    std::size_t Folders() const { return folders; }
    // The folders named that hold no .wav file at all.
    const std::vector<std::string>& EmptyFolders() const { return emptyFolders; }
    bool FoldersHeldNothing() const { return folders > 0 && emptyFolders.size() == folders; }

private:
    std::string OutputKey(const std::string& output);

    FileIdentitySet named;   // files named on the command line
    FileIdentitySet aliased; // .wav files in the folders that their path does not identify
    // The folders walked, links resolved: a file with one name is found in a folder when its
    // resolved path lies below one of them.
    std::vector<std::filesystem::path> walkedFolders;
    // Hashes of the output names that more than one file would write, sorted; only those outputs
    // are remembered, with the input that claimed each first.
    std::vector<std::uint32_t> sharedOutputs;
    std::map<std::string, std::optional<FileIdentity>> claims;
    LeftoverSweep leftovers;
    std::filesystem::path resolvedFrom; // the folder OutputKey resolved last, as written
    std::filesystem::path resolvedFolder;
    std::size_t folders = 0;
    std::vector<std::string> emptyFolders;
};

} // namespace cantrix
