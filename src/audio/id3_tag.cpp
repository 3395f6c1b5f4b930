#include "audio/id3_tag.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>

namespace cantrix {

namespace {
constexpr std::array<const char*, kTagFieldCount> kPropertyKeys{
    "TITLE", "ARTIST", "ALBUM", "DATE", "TRACKNUMBER", "GENRE", "COMMENT",
};
constexpr FourCC kInfoCopyright = MakeFourCC('I', 'C', 'O', 'P');
constexpr std::size_t kHeaderBytes = 10;
constexpr unsigned char kFooterFlag = 0x10;

// TagLib reports damaged tags on standard error; the caller says what matters in its own words.
class QuietTagLib : public TagLib::DebugListener {
public:
    QuietTagLib() { TagLib::setDebugListener(this); }
    void printMessage(const TagLib::String&) override {}
};

void SilenceTagLib()
{
    static QuietTagLib quiet;
}

// An ID3v2.2 to 2.4 header whose tag lies wholly inside `bytes`.
bool HoldsWholeTag(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < kHeaderBytes || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3' ||
        bytes[3] < 2 || bytes[3] > 4 || bytes[4] == 0xFF)
        return false;
    std::size_t size = 0;
    for (std::size_t i = 6; i < kHeaderBytes; ++i) {
        if (bytes[i] >= 0x80)
            return false;
        size = size << 7 | bytes[i];
    }
    const std::size_t footer = (bytes[5] & kFooterFlag) != 0 ? kHeaderBytes : 0;
    return kHeaderBytes + size + footer <= bytes.size();
}

// An ID3v2 tag parsed from memory: TagLib reads tags from files only, so the bytes stand in for one.
class MemoryTag {
public:
    explicit MemoryTag(const std::vector<unsigned char>& bytes)
        : stream(TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<unsigned>(bytes.size()))),
          file(&stream, TagLib::ID3v2::FrameFactory::instance(), false)
    {
    }
    TagLib::ID3v2::Tag* Tag() { return file.isValid() && file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr; }

private:
    TagLib::ByteVectorStream stream;
    TagLib::MPEG::File file;
};

TagLib::String Utf8(const std::string& text)
{
    return TagLib::String(text, TagLib::String::UTF8);
}

// Sets the fields over what the tag holds; a field the tag already states is left as it is, so
// that every value of a frame with several survives.
void SetFields(TagLib::ID3v2::Tag& tag, const AudioTags& tags)
{
    TagLib::PropertyMap properties = tag.properties();
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        const TagLib::String key = kPropertyKeys[i];
        std::string value = tags.fields[i];
        // Version 2.3 keeps a date as a year (TYER) and a day (TDAT), so only a date that starts
        // with one can be carried.
        if (static_cast<TagField>(i) == TagField::Date &&
            (value.size() < 4 || !std::all_of(value.begin(), value.begin() + 4,
                                              [](unsigned char c) { return std::isdigit(c) != 0; })))
            value.clear();
        const auto current = properties.find(key);
        if (current != properties.end() && !current->second.isEmpty() &&
            current->second.front() == Utf8(value))
            continue;
        if (value.empty())
            properties.erase(key);
        else
            properties.replace(key, TagLib::StringList(Utf8(value)));
    }
    for (const auto& [id, text] : tags.otherInfo) {
        if (id == kInfoCopyright && !properties.contains("COPYRIGHT"))
            properties.insert("COPYRIGHT", TagLib::StringList(Utf8(text)));
    }
    tag.setProperties(properties);

    // The other INFO fields have no frame of their own: each goes into a user text frame named
    // after its id.
    for (const auto& [id, text] : tags.otherInfo) {
        const std::string name{static_cast<char>(id), static_cast<char>(id >> 8), static_cast<char>(id >> 16),
                               static_cast<char>(id >> 24)};
        if (id == kInfoCopyright || TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, name) != nullptr)
            continue;
        auto frame = std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>();
        frame->setDescription(name);
        frame->setText(Utf8(text));
        tag.addFrame(frame.release());
    }
}

std::vector<unsigned char> Render(TagLib::ID3v2::Tag& tag, const AudioTags& tags)
{
    SetFields(tag, tags);
    if (tag.isEmpty())
        return {};
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v3);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}
} // namespace

std::optional<std::array<std::string, kTagFieldCount>> ReadId3Fields(const std::vector<unsigned char>& bytes)
{
    if (!HoldsWholeTag(bytes))
        return std::nullopt;
    SilenceTagLib();
    MemoryTag parsed(bytes);
    TagLib::ID3v2::Tag* tag = parsed.Tag();
    if (tag == nullptr)
        return std::nullopt;
    const TagLib::PropertyMap properties = tag->properties();
    std::array<std::string, kTagFieldCount> fields;
    for (std::size_t i = 0; i < kTagFieldCount; ++i) {
        const auto found = properties.find(kPropertyKeys[i]);
        if (found != properties.end() && !found->second.isEmpty())
            fields[i] = found->second.front().to8Bit(true);
    }
    return fields;
}

std::vector<unsigned char> RenderId3v2Tag(const AudioTags& tags)
{
    if (tags.Empty())
        return {};
    SilenceTagLib();
    if (!tags.id3.empty()) {
        MemoryTag parsed(tags.id3);
        if (TagLib::ID3v2::Tag* tag = parsed.Tag(); tag != nullptr)
            return Render(*tag, tags);
    }
    TagLib::ID3v2::Tag tag;
    return Render(tag, tags);
}

} // namespace cantrix
