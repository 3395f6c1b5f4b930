#pragma once
// The codec pump: feeds an input's PCM data through one codec stream, block after block, and hands
// every pass's Layer-3 bytes to a sink; at the end of the input it repeats END passes until the
// codec has given out everything. The conversion and the preview both run it.
//
// Thread rules: used by one worker thread; `cancel` is set from any thread.
#include "audio/clip_counter.h"
#include "engine/conversion_stream.h"
#include "platform/auto_reset_event.h"
#include "platform/riff_file.h"

#include <cstdint>
#include <functional>
#include <limits>

namespace cantrix {

// Progress displays count passes: one per source block.
constexpr std::uint32_t PassesFor(std::uint64_t pcmBytes)
{
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(pcmBytes / kCallerBlockBytes, std::numeric_limits<std::uint32_t>::max()));
}

// Where the Layer-3 bytes of each pass go.
class PumpSink {
public:
    enum class Taken {
        More,   // keep going
        Full,   // nothing more is wanted: stop
        Failed, // the bytes could not be kept: stop
    };
    virtual Taken Take(const unsigned char* data, std::uint32_t size) = 0;

protected:
    ~PumpSink() = default;
};

// How a pump ended.
enum class PumpEnd {
    Drained,     // the input's end went through the codec and it had nothing more to give
    Full,        // the sink wanted no more
    Limit,       // the PCM limit was read
    Cancelled,   // the cancel event was set
    CodecFailed, // a codec call failed, or END passes never ended
    ReadFailed,  // the input could not be read; no count of it reached the codec
    SinkFailed,  // the sink could not keep a pass's bytes
};

class CodecPump {
public:
    // `input` stands on the first of its `dataBytes` PCM bytes.
    CodecPump(ConversionStream& stream, RiffFile& input, std::uint64_t dataBytes)
        : stream(stream), input(input), remaining(dataBytes), dataBytes(dataBytes)
    {
    }

    // Stops, without the END passes, once the blocks read after the first hold `limit` bytes; the
    // block that reached it is not converted.
    void SetRefillLimit(std::uint64_t limit) { refillLimit = limit; }
    // Counts the samples of `format` beyond full scale among those read (see ClipCounter).
    void CountClipping(const WAVEFORMATEX& format) { clips = ClipCounter(format); }
    // `afterPass` sees each pass's number (0 on) before the cancel event is polled.
    PumpEnd Run(PumpSink& sink, const std::function<void(std::uint32_t pass)>& afterPass,
                AutoResetEvent& cancel);
    // The PCM bytes read so far.
    std::uint64_t PcmRead() const { return dataBytes - remaining; }
    std::uint64_t Clipped() const { return clips.Clipped(); }

private:
    ConversionStream& stream;
    RiffFile& input;
    std::uint64_t remaining;
    const std::uint64_t dataBytes;
    std::uint64_t refillLimit = std::numeric_limits<std::uint64_t>::max();
    ClipCounter clips;
};

} // namespace cantrix
