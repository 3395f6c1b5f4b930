#pragma once
// The owner of one LAME encoder state, set up for constant bit rate Layer-3 output.
#include "platform/mm_result.h"

#include <cstdint>
#include <memory>

struct lame_global_struct;

namespace cantrix {

struct LameEncoderSettings {
    std::uint32_t inputRate = 0;
    std::uint16_t inputChannels = 0;
    std::uint32_t outputRate = 0;
    std::uint16_t outputChannels = 0;
    std::uint16_t kbps = 0;
};

// Owns a lame_global_flags state from lame_init to lame_close. Not copyable; used by one thread
// at a time.
class LameEncoder {
public:
    ~LameEncoder();
    LameEncoder(const LameEncoder&) = delete;
    LameEncoder& operator=(const LameEncoder&) = delete;

    // A ready encoder: kNoMemory when LAME cannot allocate its state, kNotPossible when it rejects
    // the settings. Its output is a plain run of frames; with `tagFrame` it starts with a blank tag
    // frame, and LAME keeps what its tag frame needs (lame_get_lametag_frame).
    static MmResult Open(const LameEncoderSettings& settings, std::unique_ptr<LameEncoder>& encoder,
                         bool tagFrame = false);

    // LAME's encoder delay in samples, asked once per process.
    static std::uint16_t EncoderDelay();

    // The state for the lame_encode_* calls; valid as long as this object lives.
    lame_global_struct* Get() const { return flags; }

private:
    explicit LameEncoder(lame_global_struct* flags) : flags(flags) {}

    lame_global_struct* flags;
};

} // namespace cantrix
