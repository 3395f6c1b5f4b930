#pragma once
// Standard input as the input of a conversion (the file "-"). The engine opens its input by path
// and reads it twice (analysis, then conversion), which a pipe cannot offer, so the stream is
// first copied, block by block, to an unlinked temporary file: memory stays bounded whatever its
// length, and the copy vanishes with the process.
#include <atomic>
#include <cstdint>
#include <string>

namespace cantrix {

class StdinSpool {
public:
    StdinSpool() = default;
    ~StdinSpool();
    StdinSpool(const StdinSpool&) = delete;
    StdinSpool& operator=(const StdinSpool&) = delete;

    // Copies standard input to its end. False with `error` set when it cannot be copied, or when
    // `stopSignal` is set on the way (to the number of the signal that stops the run).
    bool Fill(const std::atomic<int>& stopSignal, std::string& error);
    // A path of the copy that the engine can open.
    std::string Path() const;

private:
    bool RepairStreamedSizes(std::int64_t length);

    int descriptor = -1;
};

} // namespace cantrix
