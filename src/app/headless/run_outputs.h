#pragma once
// What the files of one run share while they settle their outputs. The run surveys all its inputs
// once before the first file starts, and keeps of each only what the checks need, a dozen bytes:
// its identity, so that no output replaces an input, and a hash of its output's name, so that two
// files that would write one output are found. Files then start one at a time as they are walked.
#include "app/headless/file_identity_set.h"
#include "app/headless/headless_options.h"
#include "app/headless/input_expansion.h"
#include "app/headless/pending_output.h"

#include <cstdint>
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
    FileIdentitySet named; // files named on the command line
    FileIdentitySet found; // .wav files in the folders, Layer-3 ones included, unread
    // Hashes of the output names that more than one file would write, sorted; only those outputs
    // are remembered, with the input that claimed each first.
    std::vector<std::uint32_t> sharedOutputs;
    std::map<std::string, std::optional<FileIdentity>> claims;
    LeftoverSweep leftovers;
    std::size_t folders = 0;
    std::vector<std::string> emptyFolders;
};

} // namespace cantrix
