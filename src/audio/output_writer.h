#pragma once
// Writes one Layer-3 output: a raw stream or a RIFF/WAVE file. A writer owns its file and
// everything it must remember to finish it; whatever an output holds besides the codec's frames
// is written here and nowhere else.
//
// Order of use: Open, Append as often as the codec delivers, Finish once the length is known,
// Close. A writer destroyed before Finish leaves its file as it stands (the program never
// describes data it could not write); one destroyed before Close closes it and drops the result.
//
// Thread rules: owned and used by one thread.
#include "audio/audio_tags.h"
#include "audio/format_entry.h"
#include "audio/input_description.h"
#include "platform/riff_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cantrix {

// Where a writer gets the codec stream's tag (CodecManager::StreamTag), the block that describes
// the frames from in front of them.
class CodecTagSource {
public:
    // The tag of the frames given out so far, or with `placeholder` a block of its size that
    // describes nothing. kNotSupported when the codec has none.
    [[nodiscard]] virtual MmResult Tag(bool placeholder, std::vector<unsigned char>& tag) = 0;

protected:
    ~CodecTagSource() = default;
};

class OutputWriter {
public:
    virtual ~OutputWriter() = default;
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    // Creates (or truncates) the file at `path`, or writes through `descriptor` when it is not -1
    // (a file its caller opened for writing and keeps open), and writes what comes before the
    // frames. kNoError, or the file layer's result; the system's reason is then in SystemError().
    [[nodiscard]] MmResult Open(const std::string& path, int descriptor);
    // False when the bytes (or earlier ones still buffered) could not be written.
    [[nodiscard]] bool Append(const unsigned char* data, std::uint32_t size);
    // States the output's length now that the run has read `pcmBytes` of the input's PCM data.
    [[nodiscard]] virtual MmResult Finish(std::uint64_t pcmBytes) = 0;
    // Writes what is buffered and closes the file; kCannotWrite when data did not reach it.
    [[nodiscard]] MmResult Close();
    // The system's error number behind the latest failure to open or write, or 0.
    int SystemError() const { return file.SystemError(); }

protected:
    OutputWriter() = default;
    // Writes what comes before the frames, right after the file is created.
    [[nodiscard]] virtual MmResult WriteHead() = 0;
    // Writes `size` bytes over those written at `at`, then stands at the end again.
    [[nodiscard]] bool Overwrite(long at, const void* data, long size);

    RiffFile file;
};

// A writer for `destination` data converted from `input`: RIFF/WAVE when `riff`, else raw; each
// carries `tags`, and a raw stream has the tag of `streamTag` in front of its frames.
std::unique_ptr<OutputWriter> MakeOutputWriter(bool riff, const FormatEntry& destination,
                                               const InputDescription& input, const AudioTags& tags,
                                               CodecTagSource& streamTag);

} // namespace cantrix
