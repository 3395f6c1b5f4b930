#include "audio/input_tags.h"

#include "audio/id3_tag.h"
#include "audio/wave_form.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace cantrix {

namespace {
constexpr FourCC kFourCCId3Upper = MakeFourCC('I', 'D', '3', ' ');
constexpr FourCC kFourCCBext = MakeFourCC('b', 'e', 'x', 't');
constexpr FourCC kInfoTrack = MakeFourCC('I', 'T', 'R', 'K');
// Names the program that wrote the input, which is not the one that writes the output.
constexpr FourCC kInfoSoftware = MakeFourCC('I', 'S', 'F', 'T');
// Tag text is short: a larger INFO list is no list of tags.
constexpr std::uint32_t kMaxInfoBytes = 1 << 20;
// An ID3v2 tag may hold pictures.
constexpr std::uint32_t kMaxId3Bytes = 16 << 20;
// The fixed part of "bext": description (256 bytes), originator (32), its reference (32),
// origination date (10, "yyyy-mm-dd"), time, time reference, version, UMID, loudness, reserved.
constexpr std::uint32_t kBextFixedBytes = 602;
constexpr std::size_t kBextDescriptionBytes = 256;
constexpr std::size_t kBextDateOffset = 320;
constexpr std::size_t kBextDateBytes = 10;

using Fields = std::array<std::string, kTagFieldCount>;

// An INFO id: "I" and three capital letters or digits.
bool IsInfoId(FourCC id)
{
    if ((id & 0xFF) != 'I')
        return false;
    for (int shift = 8; shift < 32; shift += 8) {
        const char c = static_cast<char>(id >> shift);
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// The fields a chunk of each kind gave, and what went wrong on the way.
class ChunkWalk {
public:
    ChunkWalk(RiffFile& file, std::uint64_t limit) : file(file), limit(limit) {}

    void Visit(const WideChunk& chunk)
    {
        const bool isInfo = chunk.ckid == kFourCCList && chunk.fccType == kFourCCInfo;
        const bool isId3 = chunk.ckid == kFourCCId3 || chunk.ckid == kFourCCId3Upper;
        if (isInfo && !infoSeen) {
            infoSeen = true;
            if (Fits(chunk, kMaxInfoBytes, "LIST/INFO") && !ReadInfo(chunk))
                Problem("the LIST/INFO chunk is broken");
        } else if (isId3 && !id3Seen) {
            id3Seen = true;
            if (Fits(chunk, kMaxId3Bytes, "id3")) {
                std::optional<Fields> fields;
                if (ReadPayload(static_cast<std::uint32_t>(chunk.cksize), id3))
                    fields = ReadId3Fields(id3);
                if (fields) {
                    id3Fields = *fields;
                } else {
                    id3.clear();
                    Problem("the id3 chunk holds no whole ID3v2 tag");
                }
            }
        } else if (chunk.ckid == kFourCCBext && !bextSeen) {
            bextSeen = true;
            if (Fits(chunk, kMaxInfoBytes, "bext") && !ReadBext(chunk))
                Problem("the bext chunk is shorter than its fixed part");
        }
    }

    InputTags Result() const
    {
        InputTags result;
        result.tags.otherInfo = otherInfo;
        result.tags.id3 = id3;
        // The id3 chunk says most (any script, several values); INFO and bext fill its gaps.
        for (std::size_t i = 0; i < kTagFieldCount; ++i) {
            for (const Fields* source : {&id3Fields, &infoFields, &bextFields}) {
                if (result.tags.fields[i].empty())
                    result.tags.fields[i] = (*source)[i];
            }
        }
        if (!problems.empty())
            result.warning = "tags not carried over: " + problems;
        return result;
    }

private:
    void Problem(const std::string& text) { problems += (problems.empty() ? "" : "; ") + text; }

    // A chunk is read only when it lies wholly inside the RIFF chunk and the file.
    bool Fits(const WideChunk& chunk, std::uint32_t maxBytes, const char* name)
    {
        if (chunk.dwDataOffset > limit || chunk.cksize > limit - chunk.dwDataOffset) {
            Problem(std::string("the ") + name + " chunk claims more bytes than the file holds");
            return false;
        }
        if (chunk.cksize > maxBytes) {
            char text[80];
            std::snprintf(text, sizeof text, "the %s chunk is larger than %u MiB", name, maxBytes >> 20);
            Problem(text);
            return false;
        }
        return true;
    }

    // The first `size` bytes from where the file stands.
    bool ReadPayload(std::uint32_t size, std::vector<unsigned char>& bytes)
    {
        bytes.resize(size);
        return size == 0 || file.Read(bytes.data(), static_cast<long>(size)) == static_cast<long>(size);
    }

    bool ReadInfo(const WideChunk& list)
    {
        WideChunk field{};
        std::vector<unsigned char> text;
        while (file.DescendWide(field, &list, DescendFlag::Any, ChunkLayout::Riff) == mmresult::kNoError) {
            // The list itself is at most kMaxInfoBytes long, so a field inside it fits 32 bits.
            if (field.dwDataOffset + field.cksize > list.dwDataOffset + list.cksize ||
                !ReadPayload(static_cast<std::uint32_t>(field.cksize), text))
                return Cleared();
            Keep(field.ckid == kInfoTrack ? InfoIdOf(TagField::Track) : field.ckid,
                 DecodeTagText(text.data(), text.size()));
            if (file.AscendWide(field, ChunkLayout::Riff) != mmresult::kNoError)
                return Cleared();
        }
        return true;
    }

    bool Cleared()
    {
        infoFields = Fields{};
        otherInfo.clear();
        return false;
    }

    // The first value of each id counts.
    void Keep(FourCC id, std::string text)
    {
        if (text.empty() || id == kInfoSoftware || !IsInfoId(id))
            return;
        for (std::size_t i = 0; i < kTagFieldCount; ++i) {
            if (InfoIdOf(static_cast<TagField>(i)) == id) {
                if (infoFields[i].empty())
                    infoFields[i] = std::move(text);
                return;
            }
        }
        const bool known = std::any_of(otherInfo.begin(), otherInfo.end(),
                                       [&](const auto& kept) { return kept.first == id; });
        if (!known)
            otherInfo.emplace_back(id, std::move(text));
    }

    bool ReadBext(const WideChunk& chunk)
    {
        std::vector<unsigned char> fixed;
        if (chunk.cksize < kBextFixedBytes || !ReadPayload(kBextFixedBytes, fixed))
            return false;
        bextFields[static_cast<std::size_t>(TagField::Comment)] =
            DecodeTagText(fixed.data(), kBextDescriptionBytes);
        // The date's separators may be any of "-_:. "; a date of other characters is none.
        std::string date = DecodeTagText(fixed.data() + kBextDateOffset, kBextDateBytes);
        const auto digits = [&](std::size_t from, std::size_t count) {
            return std::all_of(date.begin() + static_cast<long>(from),
                               date.begin() + static_cast<long>(from + count),
                               [](char c) { return c >= '0' && c <= '9'; });
        };
        if (date.size() == kBextDateBytes && digits(0, 4) && digits(5, 2) && digits(8, 2)) {
            date[4] = date[7] = '-';
            bextFields[static_cast<std::size_t>(TagField::Date)] = date;
        }
        return true;
    }

    RiffFile& file;
    const std::uint64_t limit;
    bool infoSeen = false;
    bool id3Seen = false;
    bool bextSeen = false;
    Fields infoFields;
    Fields id3Fields;
    Fields bextFields;
    std::vector<std::pair<FourCC, std::string>> otherInfo;
    std::vector<unsigned char> id3;
    std::string problems;
};
} // namespace

InputTags ReadInputTags(RiffFile& file)
{
    // RF64 and BW64 keep their tags in the chunks RIFF has; only sizes over 4 GiB (the data's,
    // before the tags that follow it) stand in "ds64". Wave64 names its chunks by GUIDs that
    // stand for no tag chunk here, so its tags are not read.
    const long length = file.Seek(0, SEEK_END);
    WaveForm form;
    if (length < 0 || file.Seek(0, SEEK_SET) != 0 || !FindWaveForm(file, form))
        return InputTags{};
    const auto fileLength = static_cast<std::uint64_t>(length);
    const std::uint64_t formEnd =
        form.chunk.cksize > fileLength ? fileLength : form.chunk.dwDataOffset + form.chunk.cksize;
    ChunkWalk walk(file, std::min(fileLength, formEnd));
    WideChunk chunk{};
    while (file.DescendWide(chunk, &form.chunk, DescendFlag::Any, form.layout, form.sizes) ==
           mmresult::kNoError) {
        walk.Visit(chunk);
        if (file.AscendWide(chunk, form.layout) != mmresult::kNoError)
            break;
    }
    return walk.Result();
}

} // namespace cantrix
