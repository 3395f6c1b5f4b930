#pragma once
// Drives a codec stream the way the conversion worker does: 2048-byte source blocks with
// BLOCKALIGN while input remains, then END until a pass gives nothing.
#include "platform/codec_driver.h"

#include <cstdint>
#include <vector>

namespace cantrix::test {

struct WorkerRun {
    std::vector<unsigned char> output;
    int endPasses = 0; // END passes, the last (empty) one included
};

// Checks on the way that no pass fails or writes beyond the destination.
WorkerRun EncodeLikeWorker(CodecStream& stream, const std::vector<unsigned char>& pcm);

} // namespace cantrix::test
