#pragma once
// One PCM to Layer-3 codec stream with its prepared header, as the conversion and the preview use
// it: a fixed source block, and a destination buffer of exactly the size the codec asks for that
// block. Closing is set up before anything can fail: the destructor unprepares and closes whatever
// Open got as far as.
//
// Thread rules: owned and used by one worker thread for one run.
#include "audio/format_entry.h"
#include "audio/output_writer.h"
#include "platform/codec_manager.h"
#include "platform/riff_file.h"

#include <cstdint>
#include <vector>

namespace cantrix {

class ConversionStream : public CodecTagSource {
public:
    explicit ConversionStream(CodecManager& codecs) : codecs(codecs) {}
    ~ConversionStream();
    ConversionStream(const ConversionStream&) = delete;
    ConversionStream& operator=(const ConversionStream&) = delete;

    // Opens the stream from `source` to `destination`, sizes `destinationBuffer` for one source
    // block and prepares the header over `sourceBuffer` (kCallerBlockBytes bytes, owned by the
    // caller and kept alive until the stream is destroyed). Any result but kNoError means the
    // stream cannot convert.
    [[nodiscard]] MmResult Open(const WAVEFORMATEX& source, const FormatEntry& destination,
                                unsigned char* sourceBuffer, std::vector<unsigned char>& destinationBuffer);
    [[nodiscard]] MmResult Convert(std::uint32_t flags)
    {
        return codecs.StreamConvert(stream, header, flags);
    }
    // After a pass: moves the bytes the codec left to the front of the source buffer and reads
    // behind them as many as it consumed, never past `remaining`. The bytes read, or -1 on a read
    // error (the header is then left as it was).
    [[nodiscard]] long Refill(RiffFile& input, std::uint64_t& remaining);
    ACMSTREAMHEADER& Header() { return header; }
    [[nodiscard]] MmResult Tag(bool placeholder, std::vector<unsigned char>& tag) override
    {
        return codecs.StreamTag(stream, tag, placeholder ? kStreamTagPlaceholder : 0);
    }

private:
    CodecManager& codecs;
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header{};
    bool prepared = false;
};

} // namespace cantrix
