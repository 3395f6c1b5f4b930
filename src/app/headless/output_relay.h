#pragma once
// Carries a raw stream to a destination that can keep a conversion waiting: standard output (a
// pipe, a terminal, a socket, a file opened for appending), or a FIFO or device named with
// --output. The engine writes into a pipe, and a thread of the relay copies the pipe on. Only that
// thread ever waits on the destination (for a FIFO, also for a reader to open it), so a run told
// to stop is never held there: Abandon makes the thread give up waiting and drop the rest, and the
// conversion ends.
//
// Thread rules: every operation runs on the runner's thread; the copier only reads the pipe,
// opens and writes the destination, and sets the atomics.
#include "app/headless/file_descriptor.h"

#include <atomic>
#include <string>
#include <thread>

namespace cantrix {

class OutputRelay {
public:
    OutputRelay() = default;
    ~OutputRelay();
    OutputRelay(const OutputRelay&) = delete;
    OutputRelay& operator=(const OutputRelay&) = delete;

    // Relays to standard output. False with `error` set when no pipe can be made.
    bool Start(std::string& error);
    // Relays to the FIFO or device at `path`, which the copier opens, through a link only with
    // `followLink`.
    bool StartPath(const std::string& path, bool followLink, std::string& error);
    // What the engine writes through.
    int Descriptor() const { return writeEnd.Get(); }
    // Stops waiting on the destination: a blocked open or write gives up, and the rest of the
    // stream is dropped. A copier that went back to waiting is woken by the next call.
    void Abandon();
    // Call once the engine has closed its output: ends the stream and waits until all of it has
    // been passed on. False when the destination could not be opened (OpenFailed) or some of the
    // stream could not be written; ErrorNumber then says why.
    bool Finish();
    bool OpenFailed() const { return openFailed; }
    int ErrorNumber() const { return errorNumber; }
    // The reader of standard output has gone (a closed pipe): the rest of the stream is dropped.
    bool ReaderGone() const { return readerGone.load(); }

private:
    bool Begin(std::string& error);
    void Copy();

    FileDescriptor readEnd;
    FileDescriptor writeEnd;
    std::string path; // empty: standard output
    bool followLink = false;
    std::thread copier;
    // Written by the copier, read after it has been joined.
    bool openFailed = false;
    bool writeFailed = false;
    int errorNumber = 0;
    std::atomic<bool> abandoned{false};
    std::atomic<bool> readerGone{false};
};

} // namespace cantrix
