#pragma once
// An output of the terminal mode is written under a hidden temporary name in its own folder and
// renamed onto its name only once it is complete, so that the name never holds a partial file: not
// after a kill, a full disk or a failed run, and not for a second run that looks at it meanwhile.
//
// Whoever else can write into the folder, the run writes only the file it created: the conversion
// writes through the descriptor made with O_EXCL, every step works relative to the folder opened
// once, a link at the output's name is replaced as a name (never followed), and a temporary name
// that no longer leads to the file made is not published.
//
// The temporary file is locked (flock) while its run lives. A run killed before it could remove
// its file leaves it behind; the next run that writes into the folder removes it, since no process
// holds its lock any more.
#include "app/headless/file_descriptor.h"
#include "app/headless/file_identity.h"

#include <ctime>
#include <deque>
#include <string>

namespace cantrix {

// Whether `name` (without folder) has the form of this program's temporary files.
bool IsTemporaryOutputName(const std::string& name);

class PendingOutput {
public:
    PendingOutput() = default;
    // Removes the temporary file unless it was published.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Creates and locks the temporary file in `folder`, beside the output called `name` there.
    // False with `reason` set to the system's reason.
    bool Create(FileDescriptor folder, const std::string& name, std::string& reason);
    // What the conversion writes through; open until Publish or Discard.
    int Descriptor() const { return file.Get(); }
    // The temporary file's name in the folder.
    const std::string& TemporaryName() const { return temporaryName; }

    enum class Result {
        Published,
        Exists,   // replace was false, and a file took the output's name meanwhile
        Replaced, // another program put something else under the temporary name or the output's name
        Failed,   // the system refused a step
        // `reason` says why for Replaced and Failed.
    };
    // Makes what the conversion wrote durable and gives it the output's name. The temporary file
    // is gone afterwards, whatever the result.
    [[nodiscard]] Result Publish(bool replace, std::string& reason);
    // Removes the temporary file, if its name still leads to it.
    void Discard();

private:
    // Whether `name` in the folder is, itself, the file this object created.
    bool NameHoldsOurFile(const std::string& name) const;

    FileDescriptor folder;
    FileDescriptor file;
    std::string finalName;
    std::string temporaryName;
};

// Removes the temporary files that killed runs left in the folders this run writes into: only
// files of this program's pattern, older than this run, whose lock no process holds. Each folder
// is swept once while the run writes into it; the few folders swept last are remembered, so that
// the memory does not grow with the folders of a long run.
class LeftoverSweep {
public:
    LeftoverSweep();
    void SweepOnce(int folder);

private:
    timespec startedAt{};
    std::deque<FileIdentity> recent;
};

} // namespace cantrix
