#pragma once
// The Layer-3 formats the LAME driver offers for a PCM source, their records and descriptions,
// and the check that a destination record is one of them.
#include "drivers/lame_output_formats.h"
#include "platform/codec_driver.h"
#include "platform/wave_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cantrix {

class LameFormatTable {
public:
    // `encoderDelay` goes into every record's nCodecDelay.
    explicit LameFormatTable(std::uint16_t encoderDelay) : encoderDelay(encoderDelay) {}

    // True for what the stream reads: integer PCM of 8 (unsigned), 16, 24 or 32 bits or IEEE float
    // of 32 or 64 bits, one or two channels, 1000 to 192000 samples per second, nBlockAlign =
    // channels * bits / 8.
    static bool IsSupportedSource(const WAVEFORMATEX& source);

    // The outputs offered for `source` (none for an unsupported one), in offering order: output
    // rate descending; for each rate the stereo formats before the mono ones; bit rate ascending.
    // The rates: the family of the input's rate (that rate or the highest Layer-3 rate below it,
    // with its halves and quarters), and for an input between two Layer-3 rates the nearest one
    // above it as well.
    static std::vector<LameOutputFormat> OutputFormats(const WAVEFORMATEX& source);

    // The offered output that `destination` (`size` bytes) describes for `source`: a Layer-3
    // record of at least 30 bytes whose rate, channels and byte rate match an offered format.
    static std::optional<LameOutputFormat> Match(const WAVEFORMATEX& source, const unsigned char* destination,
                                                 std::size_t size);

    // The offered formats of OutputFormats with their 30-byte records and descriptions.
    std::vector<OfferedFormat> Offer(const WAVEFORMATEX& source) const;

    MPEGLAYER3WAVEFORMAT Record(const LameOutputFormat& format) const;

    // For example "128 kBit/s, 44100 Hz, Stereo".
    static std::string Description(const LameOutputFormat& format);

private:
    std::uint16_t encoderDelay;
};

} // namespace cantrix
