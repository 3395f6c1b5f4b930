#include "audio/input_tags.h"
#include "support/wav_builder.h"

#include <gtest/gtest.h>

namespace cantrix::test {
namespace {

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Info(std::initializer_list<Bytes> fields)
{
    return Chunk("LIST", Concat({Text("INFO"), Concat(fields)}));
}

// A RIFF/WAVE file of `before`, a "fmt " and "data" chunk (of `dataSize` claimed), and `after`.
Bytes WaveWith(const Bytes& before, const Bytes& after, std::uint32_t dataSize = 3)
{
    const Bytes samples{1, 2, 3};
    return Riff("WAVE", Concat({Chunk("fmt ", PcmFormat(1, 8000, 8)), before,
                                ChunkWithSize("data", dataSize, samples), after}));
}

// An RF64 file of the same, whose data's size (3) stands in "ds64".
Bytes Rf64With(const Bytes& after)
{
    const Bytes samples{1, 2, 3};
    return Rf64(
        "RF64", Concat({U64(0), U64(samples.size()), U64(3), Bytes(4)}),
        Concat({Chunk("fmt ", PcmFormat(1, 8000, 8)), ChunkWithSize("data", 0xFFFFFFFF, samples), after}));
}

struct Case {
    const char* name;
    Bytes file;
    std::string title;
    std::string warning; // a part of the warning, or empty for none
};

TEST(InputTags, ChunksAreReadWithinTheirParentsAndBrokenOnesLeftOut)
{
    const Bytes bigInfo = Info({Chunk("ICMT", Bytes((1 << 20) + 2, 'x'))});
    const Case cases[] = {
        {"after odd data", WaveWith({}, Info({Chunk("INAM", Text("Tail"))})), "Tail", ""},
        {"field past its list",
         WaveWith(Concat({Text("LIST"), Bytes{12, 0, 0, 0}, Text("INFOINAM"), Bytes{40, 0, 0, 0}}), {}), "",
         "LIST/INFO chunk is broken"},
        {"list past the file", WaveWith({}, ChunkWithSize("LIST", 900, Concat({Text("INFOINAM"), Bytes(6)}))),
         "", "claims more bytes"},
        {"list larger than kept", WaveWith(bigInfo, {}), "", "larger than 1 MiB"},
        {"id3 chunk without a tag",
         WaveWith(Concat({Chunk("id3 ", Text("not a tag")), Info({Chunk("INAM", Text("Kept"))})}), {}),
         "Kept", "no whole ID3v2 tag"},
        {"short bext", WaveWith(Chunk("bext", Bytes(40)), {}), "", "bext chunk is shorter"},
        {"data cut short", WaveWith({}, {}, 5000), "", ""},
        {"RF64, after data sized in ds64", Rf64With(Info({Chunk("INAM", Text("Take"))})), "Take", ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir.File("in.wav"), c.file);
        RiffFile file;
        ASSERT_EQ(file.Open(dir.File("in.wav"), OpenMode::Read), mmresult::kNoError);
        const InputTags tags = ReadInputTags(file);
        EXPECT_EQ(tags.tags[TagField::Title], c.title);
        if (c.warning.empty())
            EXPECT_EQ(tags.warning, "");
        else
            EXPECT_NE(tags.warning.find(c.warning), std::string::npos) << tags.warning;
        (void)file.Close();
    }
}

TEST(InputTags, TextIsUtf8WhereValidElseLatin1)
{
    const std::pair<Bytes, std::string> cases[] = {
        {{'a', 0xC3, 0xA9}, "a\xC3\xA9"},                 // UTF-8 stays
        {{0xF0, 0x9F, 0x8E, 0xB5}, "\xF0\x9F\x8E\xB5"},   // four bytes
        {{0xC0, 0xAF}, "\xC3\x80\xC2\xAF"},               // overlong: Latin-1
        {{0xED, 0xA0, 0x80}, "\xC3\xAD\xC2\xA0\xC2\x80"}, // surrogate: Latin-1
        {{'x', 0xE2, 0x82}, "x\xC3\xA2\xC2\x82"},         // cut short: Latin-1
        {{'o', 'k', 0, 0xFF}, "ok"},                      // ends at the first NUL
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(DecodeTagText(bytes.data(), bytes.size()), text);
}

} // namespace
} // namespace cantrix::test
