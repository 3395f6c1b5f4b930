#pragma once
// Standard output as the output of a conversion (--output -). The engine writes to a path, so
// standard output is offered to it as one.
#include <atomic>
#include <string>
#include <thread>

namespace cantrix {

// The path of standard output's own file: where a container goes, and what the check against
// overwriting the input compares.
inline constexpr const char* kStandardOutputPath = "/proc/self/fd/1";

// True when standard output is a regular file that stands at its start and does not append: the
// only standard output that can take a RIFF/WAVE file, whose sizes are written at its end.
bool StandardOutputTakesContainer();

// Carries a raw stream to standard output, whatever that is (a pipe, a terminal, a socket, a file
// opened for appending): the engine writes into a pipe, and a thread copies the pipe to
// descriptor 1.
//
// Thread rules: Start, Path and Finish run on the runner's thread; the copier only reads the pipe
// and writes descriptor 1 until the pipe ends.
class StandardOutputRelay {
public:
    StandardOutputRelay() = default;
    ~StandardOutputRelay();
    StandardOutputRelay(const StandardOutputRelay&) = delete;
    StandardOutputRelay& operator=(const StandardOutputRelay&) = delete;

    // False with `error` set when no pipe can be made.
    bool Start(std::string& error);
    // The path the engine opens as its output.
    std::string Path() const;
    // Call once the engine has closed its output: ends the stream and waits until all of it has
    // been passed on. False when some of it could not be written to standard output.
    bool Finish();
    // The reader of standard output has gone (a closed pipe): the rest of the stream is dropped.
    bool ReaderGone() const { return readerGone.load(); }

private:
    void Copy();

    int readEnd = -1;
    int writeEnd = -1;
    std::thread copier;
    bool writeFailed = false; // written by the copier, read after it has been joined
    std::atomic<bool> readerGone{false};
};

} // namespace cantrix
