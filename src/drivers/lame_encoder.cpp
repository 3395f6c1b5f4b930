#include "drivers/lame_encoder.h"

#include "drivers/vector_state.h"

#include <cstdarg>
#include <lame/lame.h>
#include <mutex>

namespace cantrix {

namespace {
// The settings the encoder delay is asked with; LAME's delay does not depend on the format.
constexpr LameEncoderSettings kDelayProbeSettings{44100, 2, 44100, 2, 128};

// LAME's set-up fills process-wide tables that every encoder reads (lame_init_params writes the
// quantiser's tables each time), and encoders of the pool and of parallel conversions set up at
// any moment: one set-up at a time, so that two never write those tables at once. The values
// written are always the same, so encoders that read them meanwhile see no change.
std::mutex& SetUpLock()
{
    static std::mutex lock;
    return lock;
}

// LAME reports warnings through these callbacks on stderr by default. A driver has no console;
// everything that matters comes back as a result code.
void IgnoreReport(const char*, va_list)
{
}
} // namespace

LameEncoder::~LameEncoder()
{
    lame_close(flags);
}

MmResult LameEncoder::Open(const LameEncoderSettings& settings, std::unique_ptr<LameEncoder>& encoder,
                           bool tagFrame)
{
    encoder.reset();
    const std::lock_guard setUp(SetUpLock());
    lame_global_flags* const created = lame_init();
    if (created == nullptr)
        return mmresult::kNoMemory;
    std::unique_ptr<LameEncoder> owner(new LameEncoder(created));

    lame_set_errorf(created, IgnoreReport);
    lame_set_debugf(created, IgnoreReport);
    lame_set_msgf(created, IgnoreReport);
    lame_set_num_channels(created, settings.inputChannels);
    lame_set_in_samplerate(created, static_cast<int>(settings.inputRate));
    lame_set_out_samplerate(created, static_cast<int>(settings.outputRate));
    lame_set_VBR(created, vbr_off);
    lame_set_brate(created, settings.kbps);
    // Stereo output keeps LAME's own choice (joint stereo); only mono is asked for explicitly.
    if (settings.outputChannels == 1)
        lame_set_mode(created, MONO);
    // The output is a stream of plain frames: no tag frame at the front, which would need a seek
    // back at the end (the output writer places the driver's own), and no ID3 tags.
    lame_set_bWriteVbrTag(created, tagFrame ? 1 : 0);
    lame_set_write_id3tag_automatic(created, 0);
    // Quality and low-pass stay at LAME's defaults, as the lame command line leaves them.
    // The set-up's many pow calls are where a vector state left in use costs most.
    ClearUpperVectorState();
    if (lame_init_params(created) < 0)
        return mmresult::kNotPossible;

    encoder = std::move(owner);
    return mmresult::kNoError;
}

std::uint16_t LameEncoder::EncoderDelay()
{
    static const std::uint16_t delay = [] {
        std::unique_ptr<LameEncoder> probe;
        if (Open(kDelayProbeSettings, probe) != mmresult::kNoError)
            return std::uint16_t{0};
        return static_cast<std::uint16_t>(lame_get_encoder_delay(probe->Get()));
    }();
    return delay;
}

} // namespace cantrix
