#pragma once
// An output of the terminal mode is written under a hidden temporary name in its own folder and
// renamed onto its name only once it is complete, so that the name never holds a partial file: not
// after a kill, a full disk or a failed run, and not for a second run that looks at it meanwhile.
//
// The temporary file is locked (flock) while its run lives. A run killed before it could remove
// its file leaves it behind; the next run that writes into the folder removes it, since no process
// holds its lock any more.
#include <ctime>
#include <set>
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

    // Creates and locks the temporary file beside `finalPath`. False with `reason` set to the
    // system's reason.
    bool Create(const std::string& finalPath, std::string& reason);
    // Where the conversion writes.
    const std::string& Path() const { return temporaryPath; }

    enum class Result { Published, Exists, Failed };
    // Makes what the conversion wrote durable and gives it the final name. With `replace` false a
    // file that took the final name meanwhile stays, and the result is Exists. Failed sets
    // `reason`. The temporary file is gone afterwards, whatever the result.
    Result Publish(bool replace, std::string& reason);
    // Removes the temporary file.
    void Discard();

private:
    std::string finalPath;
    std::string temporaryPath;
    int descriptor = -1;
};

// Removes, once per folder and run, the temporary files that killed runs left in the folders this
// run writes into: only files of this program's pattern, older than this run, whose lock no
// process holds.
class LeftoverSweep {
public:
    LeftoverSweep();
    void SweepOnce(const std::string& folder);

private:
    timespec startedAt{};
    std::set<std::string> swept;
};

} // namespace cantrix
