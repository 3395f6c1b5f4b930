#include "audio/raw_layer3_writer.h"

#include "audio/id3_tag.h"

#include <cstdio>
#include <vector>

namespace cantrix {

MmResult RawLayer3Writer::WriteHead()
{
    const std::vector<unsigned char> id3 = RenderId3v2Tag(tags);
    const auto id3Size = static_cast<long>(id3.size());
    if (id3Size != 0 && file.Write(id3.data(), id3Size) != id3Size)
        return mmresult::kCannotWrite;

    // A file that cannot seek takes the stream without a tag, as lame writes it into a pipe.
    const long at = file.Seek(0, SEEK_CUR);
    std::vector<unsigned char> placeholder;
    if (at < 0 || streamTag.Tag(true, placeholder) != mmresult::kNoError || placeholder.empty())
        return mmresult::kNoError;
    const auto size = static_cast<long>(placeholder.size());
    if (file.Write(placeholder.data(), size) != size)
        return mmresult::kCannotWrite;
    tagAt = at;
    tagBytes = size;
    return mmresult::kNoError;
}

MmResult RawLayer3Writer::Finish(std::uint64_t)
{
    if (tagAt < 0)
        return mmresult::kNoError;
    std::vector<unsigned char> tag;
    // A codec that cannot describe its frames now leaves the placeholder, which decodes to a frame
    // of silence: the frames themselves are all there.
    if (streamTag.Tag(false, tag) != mmresult::kNoError || static_cast<long>(tag.size()) != tagBytes)
        return mmresult::kNoError;
    return Overwrite(tagAt, tag.data(), tagBytes) ? mmresult::kNoError : mmresult::kCannotWrite;
}

} // namespace cantrix
