#include "platform/mpeg_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mpg123.h>

namespace cantrix {

void MpegDecoder::HandleDeleter::operator()(mpg123_handle* decoder) const
{
    mpg123_close(decoder);
    mpg123_delete(decoder);
}

MpegDecoder::MpegDecoder() = default;
MpegDecoder::~MpegDecoder() = default;

bool MpegDecoder::Open(long rate, int channels, std::size_t skipFrames)
{
    Close();
    skipBytes = skipFrames * static_cast<std::size_t>(channels) * sizeof(std::int16_t);
    skipLeft = skipBytes;
    if (channels != 1 && channels != 2)
        return false;
    handle.reset(mpg123_new(nullptr, nullptr));
    if (!handle)
        return false;
    // The library prints its complaints about damaged frames to stderr unless told not to.
    // Allowing exactly one output format makes the decoder convert channels and rate itself.
    if (mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
        mpg123_format_none(handle.get()) != MPG123_OK ||
        mpg123_format(handle.get(), rate, channels == 1 ? MPG123_MONO : MPG123_STEREO,
                      MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open_feed(handle.get()) != MPG123_OK) {
        handle.reset();
        return false;
    }
    return true;
}

void MpegDecoder::Close()
{
    handle.reset();
}

bool MpegDecoder::Feed(const unsigned char* data, std::size_t size)
{
    return handle && mpg123_feed(handle.get(), data, size) == MPG123_OK;
}

MpegDecoder::Status MpegDecoder::Read(unsigned char* out, std::size_t size, std::size_t& got)
{
    got = 0;
    if (!handle)
        return Status::Failed;
    for (;;) {
        const int result = mpg123_read(handle.get(), out, size, &got);
        const std::size_t skipped = std::min(got, skipLeft);
        if (skipped != 0) {
            skipLeft -= skipped;
            got -= skipped;
            std::memmove(out, out + skipped, got);
            // Everything decoded was dropped; the decoder may hold more.
            if (got == 0 && result == MPG123_OK)
                continue;
        }
        if (got > 0)
            return Status::Data;
        switch (result) {
        case MPG123_NEW_FORMAT:
            // Only the format chosen at Open is allowed, so the news needs no answer.
            continue;
        case MPG123_NEED_MORE:
        case MPG123_DONE:
        case MPG123_OK:
            return Status::NeedMore;
        default:
            return Status::Failed;
        }
    }
}

bool MpegDecoder::Restart()
{
    if (!handle)
        return false;
    mpg123_close(handle.get());
    skipLeft = skipBytes;
    return mpg123_open_feed(handle.get()) == MPG123_OK;
}

} // namespace cantrix
