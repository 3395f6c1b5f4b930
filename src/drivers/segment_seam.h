#pragma once
// The seam between two segments of a Layer-3 stream: the first stream frame taken from the next
// segment instead of the previous one.
//
// A frame's main data may begin up to main_data_begin bytes before its slot, in slots of frames
// that came before it. At a seam those bytes must come from the previous segment's slots: there,
// the bytes after the data of its last kept frame belonged to its own dropped frames and are free.
// So a seam is possible where the next segment's frame needs at most as many bytes before its slot
// as the previous segment leaves free there; the next segment's bytes go at the end of the free
// ones, zeros before them. The block types on both sides must also fit together, so that the
// windows overlap as in one stream. Headers and side information stay as their encoders wrote them.
#include "drivers/layer3_frames.h"

#include <cstdint>
#include <vector>

namespace cantrix {

// Whether the stream, taking `previous`'s frames from stream frame `from` on (none of them given
// out yet), may switch to `next` at stream frame `seam`: both must have indexed the frames it
// takes, and the free bytes must lie in the slots taken from `previous`.
bool SeamFits(const Layer3Stream& previous, std::uint64_t from, const Layer3Stream& next, std::uint64_t seam);

// Appends the slots of `previous`'s stream frames from `from` to `seam` to `out`, its free bytes
// at the end holding what `next`'s frame at `seam` needs. SeamFits must hold.
void AppendUpToSeam(const Layer3Stream& previous, std::uint64_t from, const Layer3Stream& next,
                    std::uint64_t seam, std::vector<unsigned char>& out);

// Appends the slots of `stream`'s indexed frames from `from` up to `to` (FrameEnd() included).
void AppendFrames(const Layer3Stream& stream, std::uint64_t from, std::uint64_t to,
                  std::vector<unsigned char>& out);

} // namespace cantrix
