#include "platform/riff_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cantrix {
namespace {

namespace fs = std::filesystem;

// A directory of its own for each test, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        static int serial = 0;
        path = fs::temp_directory_path() /
               ("riff_file_test_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }

private:
    fs::path path;
};

std::string Le32(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

// A chunk with its payload and pad byte; `size` overrides the size field.
std::string Chunk(const std::string& id, const std::string& payload,
                  std::optional<std::uint32_t> size = std::nullopt)
{
    std::string bytes = id + Le32(size.value_or(static_cast<std::uint32_t>(payload.size()))) + payload;
    if (payload.size() % 2 != 0)
        bytes += '\0';
    return bytes;
}

std::string Riff(const std::string& form, const std::string& body,
                 std::optional<std::uint32_t> size = std::nullopt)
{
    return "RIFF" + Le32(size.value_or(static_cast<std::uint32_t>(4 + body.size()))) + form + body;
}

std::string PcmFormat()
{
    return std::string("\x01\x00\x02\x00", 4) + Le32(44100) + Le32(176400) +
           std::string("\x04\x00\x10\x00", 4);
}

std::string Pattern(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The input analysis' calls: "RIFF"/"WAVE", 16 bytes of "fmt ", then "data" after it.
struct Probe {
    MmResult result = mmresult::kNoError;
    std::string format;
    MMCKINFO data;
    long dataOffset = -1;
};

Probe ProbeWave(const std::string& path)
{
    Probe probe;
    RiffFile file;
    MMCKINFO riff;
    riff.fccType = kFourCCWave;
    probe.data.ckid = kFourCCFmt;
    probe.format.assign(16, '\0');
    if ((probe.result = file.Open(path, OpenMode::Read)) != mmresult::kNoError ||
        (probe.result = file.Descend(riff, nullptr, DescendFlag::FindRiff)) != mmresult::kNoError ||
        (probe.result = file.Descend(probe.data, &riff, DescendFlag::FindChunk)) != mmresult::kNoError)
        return probe;
    EXPECT_LE(file.Read(probe.format.data(), 16), 16);
    probe.data.ckid = kFourCCData;
    if ((probe.result = file.Ascend(probe.data)) != mmresult::kNoError ||
        (probe.result = file.Descend(probe.data, &riff, DescendFlag::FindChunk)) != mmresult::kNoError)
        return probe;
    probe.dataOffset = file.Seek(0, SEEK_CUR);
    return probe;
}

// The output writer's calls, the payload in blocks of `block` bytes.
MmResult WriteWave(const std::string& path, const std::string& format, const std::string& payload,
                   std::size_t block)
{
    RiffFile file;
    MMCKINFO riff;
    MMCKINFO sub;
    EXPECT_EQ(file.Open(path, OpenMode::Create), mmresult::kNoError);
    riff.fccType = kFourCCWave;
    EXPECT_EQ(file.CreateChunk(riff, CreateFlag::CreateRiff), mmresult::kNoError);
    sub.ckid = kFourCCFmt;
    sub.cksize = 32;
    EXPECT_EQ(file.CreateChunk(sub, CreateFlag::Plain), mmresult::kNoError);
    EXPECT_EQ(file.Write(format.data(), 32), 32);
    EXPECT_EQ(file.Ascend(sub), mmresult::kNoError);
    sub.ckid = kFourCCFact;
    sub.cksize = 0;
    EXPECT_EQ(file.CreateChunk(sub, CreateFlag::Plain), mmresult::kNoError);
    EXPECT_EQ(file.Write(Le32(123456).data(), 4), 4);
    EXPECT_EQ(file.Ascend(sub), mmresult::kNoError);
    sub.ckid = kFourCCData;
    sub.cksize = 0;
    EXPECT_EQ(file.CreateChunk(sub, CreateFlag::Plain), mmresult::kNoError);
    for (std::size_t at = 0; at < payload.size(); at += block) {
        const long count = static_cast<long>(std::min(block, payload.size() - at));
        EXPECT_EQ(file.Write(payload.data() + at, count), count);
    }
    EXPECT_EQ(file.Ascend(sub), mmresult::kNoError);
    EXPECT_EQ(file.Ascend(riff), mmresult::kNoError);
    return file.Close();
}

TEST(RiffFile, WriterLayoutIsByteExact)
{
    TempDir dir;
    const std::string format = Pattern(32);
    // Empty, odd, even, and payloads larger than the buffer so that the size fields are patched
    // in the file rather than in pending data; both small blocks and one large write.
    for (const auto& [length, block] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, 1}, {1001, 417}, {1000, 2048}, {200001, 2048}, {200000, 200000}}) {
        SCOPED_TRACE(length);
        const std::string payload = Pattern(length);
        const std::string path = dir.File("out.wav");
        ASSERT_EQ(WriteWave(path, format, payload, block), mmresult::kNoError);
        const std::string pad = length % 2 != 0 ? std::string(1, '\0') : std::string();
        const std::string expected = "RIFF" + Le32(static_cast<std::uint32_t>(64 + length + pad.size())) +
                                     "WAVE" + "fmt " + Le32(32) + format + "fact" + Le32(4) + Le32(123456) +
                                     "data" + Le32(static_cast<std::uint32_t>(length)) + payload + pad;
        EXPECT_EQ(ReadFile(path), expected);
        const Probe probe = ProbeWave(path);
        ASSERT_EQ(probe.result, mmresult::kNoError);
        EXPECT_EQ(probe.format, format.substr(0, 16));
        EXPECT_EQ(probe.data.cksize, length);
        EXPECT_EQ(probe.dataOffset, 72);
    }
}

TEST(RiffFile, SkipsOtherChunksAndFindsListsByType)
{
    TempDir dir;
    const std::string path = dir.File("in.wav");
    WriteFile(path, Riff("WAVE", Chunk("fmt ", PcmFormat()) + Chunk("LIST", "INFOabcde") +
                                     Chunk("junk", "xyz") + Chunk("LIST", "") + Chunk("data", "0123456789")));
    const Probe probe = ProbeWave(path);
    ASSERT_EQ(probe.result, mmresult::kNoError);
    EXPECT_EQ(probe.format, PcmFormat());
    EXPECT_EQ(probe.dataOffset, 12 + 24 + 18 + 12 + 8 + 8);
    EXPECT_EQ(probe.data.dwDataOffset, probe.dataOffset);

    RiffFile file;
    ASSERT_EQ(file.Open(path, OpenMode::Read), mmresult::kNoError);
    MMCKINFO riff;
    ASSERT_EQ(file.Descend(riff, nullptr, DescendFlag::Any), mmresult::kNoError);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(file.Seek(0, SEEK_CUR), 12);
    // The empty "LIST" has no form type to stand on: skipped, never returned.
    std::vector<FourCC> ids;
    MMCKINFO sub;
    while (file.Descend(sub, &riff, DescendFlag::Any) == mmresult::kNoError) {
        ids.push_back(sub.ckid);
        ASSERT_EQ(file.Ascend(sub), mmresult::kNoError);
    }
    EXPECT_EQ(ids,
              (std::vector<FourCC>{kFourCCFmt, kFourCCList, MakeFourCC('j', 'u', 'n', 'k'), kFourCCData}));

    MMCKINFO list;
    list.fccType = MakeFourCC('I', 'N', 'F', 'O');
    ASSERT_EQ(file.Seek(12, SEEK_SET), 12);
    ASSERT_EQ(file.Descend(list, &riff, DescendFlag::FindList), mmresult::kNoError);
    EXPECT_EQ(list.dwDataOffset, 12u + 24 + 8);
    EXPECT_EQ(file.Seek(0, SEEK_CUR), 12 + 24 + 12);
    char rest[6] = {};
    EXPECT_EQ(file.Read(rest, 5), 5);
    EXPECT_STREQ(rest, "abcde");
}

TEST(RiffFile, RejectsMalformedInputs)
{
    TempDir dir;
    const std::string fmt = Chunk("fmt ", PcmFormat());
    const std::string data = Chunk("data", "abcd");
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"zero-length file", ""},
        {"truncated RIFF header", "RIFF\x10\x00"},
        {"not RIFF at all", Chunk("RIFX", "WAVE" + fmt + data)},
        {"another form type", Riff("AVI ", fmt + data)},
        {"RIFF too small for its form type", Riff("WAVE", "", 2)},
        {"truncated fmt header", Riff("WAVE", "fmt \x10")},
        {"no fmt chunk", Riff("WAVE", data)},
        {"data before fmt", Riff("WAVE", data + fmt)},
        {"skipped chunk past the file end", Riff("WAVE", fmt + Chunk("LIST", "INFO", 0xFFFFFFFF) + data)},
        {"skipped chunk past the parent end",
         Riff("WAVE", fmt + Chunk("junk", "abcd"), 4 + 24 + 8 + 2) + data},
        {"data after the parent end", Riff("WAVE", fmt) + data},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.File("in.wav");
        WriteFile(path, bytes);
        EXPECT_EQ(ProbeWave(path).result, mmresult::kChunkNotFound);
    }
}

TEST(RiffFile, AcceptsChunksClaimingMoreThanTheFileHolds)
{
    TempDir dir;
    const std::string path = dir.File("in.wav");
    // A stream whose writer could not go back to fix the sizes.
    WriteFile(path, Riff("WAVE", Chunk("fmt ", PcmFormat()) + "data" + Le32(0xFFFFFFFF) + "abc", 0xFFFFFFFF));
    const Probe probe = ProbeWave(path);
    ASSERT_EQ(probe.result, mmresult::kNoError);
    EXPECT_EQ(probe.data.cksize, 0xFFFFFFFFu);
    EXPECT_EQ(probe.dataOffset, 44);

    RiffFile file;
    ASSERT_EQ(file.Open(path, OpenMode::Read), mmresult::kNoError);
    ASSERT_EQ(file.Seek(44, SEEK_SET), 44);
    char bytes[16];
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 3);
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 0);
    // Inside the oversized RIFF the search ends at the real end of the file.
    MMCKINFO riff;
    riff.fccType = kFourCCWave;
    ASSERT_EQ(file.Seek(0, SEEK_SET), 0);
    ASSERT_EQ(file.Descend(riff, nullptr, DescendFlag::FindRiff), mmresult::kNoError);
    MMCKINFO missing;
    missing.ckid = MakeFourCC('c', 'u', 'e', ' ');
    EXPECT_EQ(file.Descend(missing, &riff, DescendFlag::FindChunk), mmresult::kChunkNotFound);
    EXPECT_EQ(file.Seek(0, SEEK_CUR), 12);
}

TEST(RiffFile, ReportsOpenReadAndWriteErrors)
{
    TempDir dir;
    RiffFile file;
    EXPECT_EQ(file.Open(dir.File("missing.wav"), OpenMode::Read), mmresult::kFileNotFound);
    EXPECT_FALSE(file.IsOpen());

    // Only regular files are read: a directory or a FIFO is refused at once, without blocking.
    EXPECT_EQ(file.Open(dir.File(""), OpenMode::Read), mmresult::kCannotOpen);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(file.Open(dir.File("fifo"), OpenMode::Read), mmresult::kCannotOpen);
    EXPECT_FALSE(file.IsOpen());
    char bytes[8];
    EXPECT_EQ(file.Read(bytes, sizeof bytes), -1);
    EXPECT_EQ(file.Write(bytes, 1), -1);

    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // A small write stays in the buffer: Close must report that it never reached the file.
    ASSERT_EQ(file.Open("/dev/full", OpenMode::Create), mmresult::kNoError);
    EXPECT_EQ(file.Write(bytes, 4), 4);
    EXPECT_EQ(file.Close(), mmresult::kCannotWrite);
    // A stream of blocks fails once the buffer has to go out, and stays failed.
    ASSERT_EQ(file.Open("/dev/full", OpenMode::Create), mmresult::kNoError);
    const std::string block(2048, 'x');
    long result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i)
        result = file.Write(block.data(), 2048);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(file.Write(block.data(), 1), -1);
    EXPECT_EQ(file.Close(), mmresult::kCannotWrite);
}

TEST(RiffFile, WritesThroughTheCallersDescriptorWhereverItsNameLeads)
{
    TempDir dir;
    const std::string path = dir.File("made.part"), kept = dir.File("kept"), victim = dir.File("victim");
    std::ofstream(victim) << "untouched";
    const int made = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(made, 0);
    ASSERT_EQ(::link(path.c_str(), kept.c_str()), 0);
    // Another program puts a link where the file was made.
    ASSERT_EQ(::symlink(victim.c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(::rename(dir.File("link").c_str(), path.c_str()), 0);

    RiffFile file;
    ASSERT_EQ(file.OpenDescriptor(made), mmresult::kNoError);
    EXPECT_EQ(file.Write("RIFF0000", 8), 8);
    EXPECT_EQ(file.Seek(4, SEEK_SET), 4);
    EXPECT_EQ(file.Write("1234", 4), 4);
    EXPECT_EQ(file.Close(), mmresult::kNoError);
    EXPECT_EQ(ReadFile(kept), "RIFF1234");
    EXPECT_EQ(ReadFile(victim), "untouched");
    // The caller's descriptor stays its own.
    EXPECT_EQ(::close(made), 0);
    EXPECT_EQ(file.OpenDescriptor(made), mmresult::kCannotOpen);
    EXPECT_EQ(file.SystemError(), EBADF);
}

TEST(RiffFile, SeeksInBothModes)
{
    TempDir dir;
    const std::string path = dir.File("seek.bin");
    const std::string content = Pattern(150000); // more than one buffer
    RiffFile file;
    ASSERT_EQ(file.Open(path, OpenMode::Create), mmresult::kNoError);
    EXPECT_EQ(file.Write(content.data(), 100000), 100000);
    EXPECT_EQ(file.Seek(10, SEEK_SET), 10);
    EXPECT_EQ(file.Write("ABCD", 4), 4);
    EXPECT_EQ(file.Seek(0, SEEK_END), 100000);
    EXPECT_EQ(file.Write(content.data() + 100000, 50000), 50000);
    EXPECT_EQ(file.Seek(-4, SEEK_CUR), 149996);
    EXPECT_EQ(file.Read(nullptr, 0), -1);
    EXPECT_EQ(file.Close(), mmresult::kNoError);
    std::string expected = content;
    expected.replace(10, 4, "ABCD");
    EXPECT_EQ(ReadFile(path), expected);

    ASSERT_EQ(file.Open(path, OpenMode::Read), mmresult::kNoError);
    std::string got(4, '\0');
    for (const auto& [offset, origin, at] :
         std::vector<std::tuple<long, int, long>>{{10, SEEK_SET, 10},
                                                  {120000, SEEK_SET, 120000},
                                                  {-100, SEEK_CUR, 119904},
                                                  {-6, SEEK_END, 149994},
                                                  {3, SEEK_SET, 3},
                                                  {70000, SEEK_CUR, 70007}}) {
        ASSERT_EQ(file.Seek(offset, origin), at);
        EXPECT_EQ(file.Read(got.data(), 4), 4);
        EXPECT_EQ(got, expected.substr(static_cast<std::size_t>(at), 4));
    }
    EXPECT_EQ(file.Seek(-1, SEEK_SET), -1);
    EXPECT_EQ(file.Seek(0, SEEK_CUR), 70011);
}

} // namespace
} // namespace cantrix
