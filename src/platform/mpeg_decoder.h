#pragma once
// A Layer-3 decoder fed in pieces: bytes go in as they arrive, 16-bit PCM comes out in the one
// output format chosen at Open.
//
// Thread rules: one thread at a time.
#include <cstddef>
#include <memory>

struct mpg123_handle_struct;

namespace cantrix {

class MpegDecoder {
public:
    enum class Status {
        Data,     // `got` bytes were decoded
        NeedMore, // every fed byte has been used up
        Failed,   // the decoder cannot go on with what it was fed
    };

    MpegDecoder();
    ~MpegDecoder();
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

    // The samples the decoder's synthesis puts in front of a stream's first sample, which it
    // trims itself only where a tag frame tells it the encoder's delay.
    static constexpr std::size_t kSynthesisDelay = 529;

    // Decodes to signed 16-bit host-order samples at `rate` with `channels` (1 or 2), whatever
    // the stream itself holds, dropping the first `skipFrames` sample frames of each stream (after
    // Open and each Restart). False when the decoder cannot produce that format.
    bool Open(long rate, int channels, std::size_t skipFrames = 0);
    void Close();
    // Copies `size` bytes into the decoder's input.
    bool Feed(const unsigned char* data, std::size_t size);
    // Decodes at most `size` bytes (whole samples) into `out`.
    Status Read(unsigned char* out, std::size_t size, std::size_t& got);
    // Drops all input and state, as for a new stream; the output format stays.
    bool Restart();

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* handle) const;
    };
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle;
    std::size_t skipBytes = 0;
    std::size_t skipLeft = 0; // of this stream's first bytes
};

} // namespace cantrix
