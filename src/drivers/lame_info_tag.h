#pragma once
// The tag frame of a constant bit rate Layer-3 stream in LAME's "Info" layout, the frame that
// players read for a stream's exact length: frame and byte counts, seek table, quality, encoder,
// encoder delay and padding, music length and CRC, and the tag's own CRC. It stands in front of
// the stream's frames and holds no audio (its side information is zero).
//
// What depends only on the encoder's settings is LAME's own: its tag frame for the same settings
// gives the header, "Info" and the flags of the fields present, the quality, the encoder's name
// and version, the tag revision and bit rate method, the low-pass, the encoding flags and ATH
// type, the bit rate, noise shaping, stereo mode and source rate, and the preset. ReplayGain is
// never analysed, so its fields stay zero. What depends on the stream is computed from the
// frames the stream gave out: the frame and byte counts, the seek table, the padding, the music
// length and CRC, the mode extension in the header (LAME's is that of the last frame), and the
// tag's CRC over all of it. The delay is the encoder's, handed in by the caller.
#include "drivers/lame_output_formats.h"
#include "drivers/layer3_tally.h"
#include "platform/mm_result.h"
#include "platform/wave_format.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace cantrix {

class LameInfoTag {
public:
    // The bytes of the tag after the header and side information: the Xing layout (120 bytes) and
    // LAME's extension (36 bytes).
    static constexpr std::uint32_t kTagBytes = 156;

    // The tag's bit rate: the stream's own where a frame of it holds the tag, else the smallest
    // one of the same MPEG version that does. LAME writes no tag where it does not fit; decoders
    // take the one frame at another bit rate for what it is, a tag, as ffmpeg writes it there.
    static constexpr std::uint16_t TagKbps(const LameOutputFormat& output)
    {
        const std::uint32_t needed =
            layer3::kHeaderBytes +
            layer3::SideInfoBytes(layer3::IsMpeg1(output.sampleRate), output.channels) + kTagBytes;
        for (const std::uint32_t kbps : lame_outputs::KbpsOf(output.sampleRate)) {
            if (kbps >= output.kbps && layer3::SlotBytes(output.sampleRate, kbps, false) >= needed)
                return static_cast<std::uint16_t>(kbps);
        }
        return 0;
    }

    // LAME's tag frame for a stream from `source` to `output`, in `tag`. kNoMemory or
    // kNotPossible when LAME cannot set up an encoder for it.
    static MmResult Make(const WAVEFORMATEX& source, const LameOutputFormat& output,
                         std::optional<LameInfoTag>& tag);

    // A frame of the tag's size that describes nothing and decodes to silence, which holds the
    // tag's place until the stream's length is known.
    std::vector<unsigned char> Placeholder() const;
    // The tag of the frames `given` stands for, with the encoder's `delay` in samples. With
    // `samples` the stream has ended and its frames hold that many samples of input (at the
    // output's rate); without, it holds what its whole frames can give back.
    std::vector<unsigned char> Frame(const Layer3Tally& given, std::uint16_t delay,
                                     std::optional<std::uint64_t> samples) const;

private:
    LameInfoTag(std::vector<unsigned char> lameFrame, std::uint32_t tagAt, std::uint32_t frameSamples)
        : lameFrame(std::move(lameFrame)), tagAt(tagAt), frameSamples(frameSamples)
    {
    }

    std::vector<unsigned char> lameFrame; // LAME's own, for the settings
    std::uint32_t tagAt;                  // where "Info" starts in it
    std::uint32_t frameSamples;
};

// Every offered format has a tag bit rate that LAME encodes at, so it can make the tag's frame.
static_assert(
    [] {
        for (const LameOutputFormat& format : lame_outputs::All()) {
            const std::uint16_t kbps = LameInfoTag::TagKbps(format);
            if (kbps == 0 || !lame_outputs::Offered(format.sampleRate, kbps))
                return false;
        }
        return true;
    }(),
    "the tag must fit a frame of a bit rate offered at every format's rate");

} // namespace cantrix
