#include "audio/riff_tag_chunks.h"

#include "audio/id3_tag.h"
#include "audio/whole_chunk.h"

#include <vector>

namespace cantrix {

namespace {
// The INFO fields: each text ends with a NUL, as the readers of INFO expect.
MmResult WriteInfoList(RiffFile& file, const AudioTags& tags)
{
    std::vector<std::pair<FourCC, const std::string*>> fields;
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        if (!tags.fields[i].empty())
            fields.emplace_back(InfoIdOf(static_cast<TagField>(i)), &tags.fields[i]);
    }
    for (const auto& [id, text] : tags.otherInfo)
        fields.emplace_back(id, &text);
    if (fields.empty())
        return mmresult::kNoError;

    MMCKINFO list{};
    list.fccType = kFourCCInfo;
    MmResult result = file.CreateChunk(list, CreateFlag::CreateList);
    MMCKINFO field;
    for (const auto& [id, text] : fields) {
        if (result == mmresult::kNoError)
            result = WriteWholeChunk(file, id, text->c_str(), static_cast<long>(text->size() + 1), field);
    }
    return result != mmresult::kNoError ? result : file.Ascend(list);
}
} // namespace

MmResult WriteTagChunks(RiffFile& file, const AudioTags& tags)
{
    if (tags.Empty())
        return mmresult::kNoError;
    if (const MmResult info = WriteInfoList(file, tags); info != mmresult::kNoError)
        return info;
    const std::vector<unsigned char> id3 = RenderId3v2Tag(tags);
    if (id3.empty())
        return mmresult::kNoError;
    MMCKINFO chunk;
    return WriteWholeChunk(file, kFourCCId3, id3.data(), static_cast<long>(id3.size()), chunk);
}

} // namespace cantrix
