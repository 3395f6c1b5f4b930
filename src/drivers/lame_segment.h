#pragma once
// One segment of a segmented Layer-3 stream: its own LAME encoder, the PCM it encodes, and the
// frames that come out, indexed for joining.
//
// Thread rules: used by one thread at a time. A pool task encodes a submitted segment; the stream's
// calling thread fills it before and joins it after, never while the task runs.
#include "drivers/lame_pcm_encoder.h"
#include "drivers/layer3_frames.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace cantrix {

class LameSegment {
public:
    // A segment whose encoder starts at stream frame `firstFrame`, that is at input sample frame
    // `firstFrame * inputPerFrame`, for input of `frameBytes` bytes a sample frame.
    LameSegment(std::uint64_t firstFrame, std::uint32_t inputPerFrame, std::uint32_t frameBytes);

    // The encoder must be set before anything is encoded.
    void SetEncoder(std::unique_ptr<LamePcmEncoder> lame) { encoder = std::move(lame); }

    std::uint64_t FirstFrame() const { return firstFrame; }
    // The input sample frame the encoder takes next.
    std::uint64_t NextInput() const { return firstInput + fed; }
    std::uint32_t FrameBytes() const { return frameBytes; }

    // The PCM a pool task encodes, from input sample frame PcmStart() on (the encoder's first input
    // frame, unless HoldPcmFromHere moved it), and the input sample frame after it.
    std::vector<unsigned char>& Pcm() { return pcm; }
    std::uint64_t PcmStart() const { return pcmStart; }
    std::uint64_t PcmEnd() const { return pcmStart + pcm.size() / frameBytes; }
    // Input from NextInput() on is held in Pcm() for a pool task, which goes on with this encoder.
    void HoldPcmFromHere()
    {
        pcm.clear();
        pcmStart = NextInput();
    }
    // Frees the PCM (assigning {} would only empty it and keep its memory).
    void ReleasePcm() { pcm = std::vector<unsigned char>(); }

    // Encodes the segment's own PCM: with `flushFrame`, the reservoir is emptied before that stream
    // frame; with `final`, the stream ends after it. false when LAME fails or `stop` is set.
    bool EncodePcm(std::optional<std::uint64_t> flushFrame, bool final, const std::atomic<bool>& stop);
    // Encodes `frames` more sample frames that follow what it took so far.
    bool Feed(const unsigned char* source, std::uint64_t frames, const std::atomic<bool>* stop = nullptr);
    // Ends the stream: what LAME holds is encoded.
    bool Finish();

    // Its output, its frames numbered as the stream's.
    const Layer3Stream& Output() const { return output; }
    // The stream frame after the last indexed one.
    std::uint64_t IndexedEnd() const { return output.FrameEnd(); }
    // Forgets its frames before stream frame `frame` (at most IndexedEnd()).
    void DropBefore(std::uint64_t frame) { output.DropBefore(frame); }

private:
    std::uint64_t firstFrame;
    std::uint32_t inputPerFrame;
    std::uint64_t firstInput;
    std::uint32_t frameBytes;
    std::uint64_t fed = 0;
    std::uint64_t pcmStart;
    std::unique_ptr<LamePcmEncoder> encoder;
    std::vector<unsigned char> pcm;
    Layer3Stream output;
};

} // namespace cantrix
