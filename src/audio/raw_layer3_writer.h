#pragma once
// A raw Layer-3 stream: the codec's frames and nothing else.
#include "audio/output_writer.h"

namespace cantrix {

class RawLayer3Writer : public OutputWriter {
public:
    [[nodiscard]] MmResult Finish(std::uint64_t) override { return mmresult::kNoError; }

protected:
    [[nodiscard]] MmResult WriteHead() override { return mmresult::kNoError; }
};

} // namespace cantrix
