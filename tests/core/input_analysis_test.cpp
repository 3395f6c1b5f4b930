#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace cantrix::test {
namespace {

class InputAnalysis : public ::testing::Test {
protected:
    InputAnalysis()
    {
        FakeDriverConfig config;
        config.formats = {Layer3Format(16000, 2), Layer3Format(8000, 1)};
        config.onlySampleRate = 44100;
        codecs.Install(std::make_unique<FakeCodecDriver>(config));
    }

    std::string Write(const std::string& name, const Bytes& bytes)
    {
        WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }

    // Full analysis: the result and the messages it showed.
    std::pair<bool, std::vector<std::uint32_t>> Analyze(const std::string& path)
    {
        RecordingPresenter presenter;
        engine.SetMessagePresenter(&presenter);
        const bool ok = engine.AnalyzeInput(path, false);
        engine.SetMessagePresenter(nullptr);
        return {ok, presenter.Messages()};
    }

    TempDir dir;
    CodecManager codecs;
    ConverterEngine engine{codecs};
};

using Messages = std::vector<std::uint32_t>;

TEST_F(InputAnalysis, GoodFileIsDescribedAndCatalogued)
{
    const Bytes samples = SineSamples16(44100, 2, 0.1);
    const std::string path = Write("good.wav", PcmWav(2, 44100, 16, samples));
    EXPECT_EQ(Analyze(path), std::make_pair(true, Messages{}));
    EXPECT_EQ(engine.GetInputPath(), path);
    EXPECT_EQ(engine.GetInputChannels(), 2u);
    EXPECT_EQ(engine.GetInputSamplesPerSec(), 44100u);
    EXPECT_EQ(engine.GetInputFormat().wBitsPerSample, 16);
    EXPECT_EQ(engine.GetInputFormat().cbSize, 0);
    EXPECT_EQ(engine.GetDataSize(), samples.size());
    EXPECT_EQ(engine.GetDataOffset(), 44u);
    EXPECT_EQ(engine.GetFormatCount(), 2u);
    EXPECT_FALSE(engine.IsInputOpen());
}

TEST_F(InputAnalysis, AcceptsExtraChunksAndLongFormatChunks)
{
    Bytes content = Chunk("fmt ", PcmFormat(2, 44100, 16, 1, {0x02, 0x00, 0xAB, 0xCD}));
    for (const Bytes& chunk :
         {Chunk("LIST", Bytes(13, 'x')), Chunk("fact", Bytes(4, 0)), Chunk("data", Bytes(8, 1))})
        content.insert(content.end(), chunk.begin(), chunk.end());
    EXPECT_TRUE(Analyze(Write("extra.wav", Riff("WAVE", content))).first);
    EXPECT_EQ(engine.GetInputFormat().cbSize, 0);
    EXPECT_EQ(engine.GetDataSize(), 8u);
    EXPECT_EQ(engine.GetDataOffset(), 12u + 28u + 22u + 12u + 8u);
}

TEST_F(InputAnalysis, RejectsNonPcmTagsWith103)
{
    for (std::uint16_t tag : {0x0002, 0x0003, 0x0055, 0xFFFE}) {
        Bytes content = Chunk("fmt ", PcmFormat(2, 44100, 16, tag, {0, 0}));
        const Bytes data = Chunk("data", SineSamples16(44100, 2, 0.01));
        content.insert(content.end(), data.begin(), data.end());
        SCOPED_TRACE(tag);
        EXPECT_EQ(Analyze(Write("tag.wav", Riff("WAVE", content))), std::make_pair(false, Messages{103}));
    }
}

TEST_F(InputAnalysis, ExtensiblePcmIsDescribedAsItsTag1RecordAndEveryOtherExtensionGets103)
{
    struct Case {
        const char* name;
        std::uint16_t bits, validBits, cbSize;
        unsigned char subFormat; // the GUID's first byte: 1 PCM, 3 float, else unknown
        std::size_t extra, cut;  // bytes after the extension; bytes of the file cut off in it
        std::uint16_t tag;       // of the record it is described with; 0: refused
    };
    for (const Case& c : std::vector<Case>{
             {"24-bit", 24, 24, 22, 1, 0, 0, 1},
             {"20 valid bits in 24", 24, 20, 22, 1, 0, 0, 1},
             {"32-bit with a longer extension", 32, 32, 24, 1, 2, 0, 1},
             {"longer extension than the chunk", 16, 16, 24, 1, 0, 0, 0},
             {"no extension announced", 16, 16, 0, 1, 0, 0, 0},
             {"file ends in the extension", 16, 16, 22, 1, 0, 10, 0},
             {"valid bits above the container", 16, 24, 22, 1, 0, 0, 0},
             {"32-bit float", 32, 32, 22, 3, 0, 0, 3},
             {"64-bit float", 64, 64, 22, 3, 0, 0, 3},
             {"16-bit float", 16, 16, 22, 3, 0, 0, 0},
             {"unknown sub-format", 16, 16, 22, 0x5A, 0, 0, 0},
         }) {
        SCOPED_TRACE(c.name);
        Bytes subFormat(kSubFormatPcm.begin(), kSubFormatPcm.end());
        subFormat[0] = c.subFormat;
        Bytes extension = Extension(c.cbSize, c.validBits, subFormat);
        extension.resize(extension.size() + c.extra);
        Bytes file = Wav(PcmFormat(2, 44100, c.bits, kWaveFormatExtensible, extension), Bytes(48, 0));
        if (c.cut != 0)
            file.resize(12 + 8 + 40 - c.cut);

        const bool plain = c.tag != 0;
        EXPECT_EQ(Analyze(Write("extensible.wav", file)),
                  std::make_pair(plain, plain ? Messages{} : Messages{strings::kInputNotPcm}));
        WAVEFORMATEX pcm = PcmRecord(2, 44100, c.bits);
        pcm.wFormatTag = c.tag;
        if (plain) {
            EXPECT_EQ(std::memcmp(&engine.GetInputFormat(), &pcm, sizeof pcm), 0);
        }
    }
}

TEST_F(InputAnalysis, RejectsBrokenContainersWith102)
{
    Bytes dataFirst = Chunk("data", Bytes(8, 0));
    const Bytes fmt = Chunk("fmt ", PcmFormat(2, 44100, 16));
    dataFirst.insert(dataFirst.end(), fmt.begin(), fmt.end());
    Bytes truncated = PcmWav(2, 44100, 16, Bytes(100, 0));
    truncated.resize(30);

    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"data before fmt", Riff("WAVE", dataFirst)},
        {"AVI form type", Riff("AVI ", fmt)},
        {"not RIFF", Bytes(64, 'z')},
        {"zero length", {}},
        {"no fmt", Riff("WAVE", Chunk("data", Bytes(8, 0)))},
        {"no data", Riff("WAVE", fmt)},
        {"truncated", truncated},
        {"fmt size past the file", Riff("WAVE", ChunkWithSize("fmt ", 0xFFFFFFF0u, PcmFormat(2, 44100, 16)))},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Analyze(Write("bad.wav", bytes)), std::make_pair(false, Messages{102}));
        EXPECT_TRUE(engine.GetInputPath().empty());
        EXPECT_FALSE(engine.IsInputOpen());
    }
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// A Wave64 chunk: the GUID of `id`, the size with the 24-byte header (or `size`), the payload and
// the padding to 8 bytes. The "riff" form's payload opens with its form type, the "wave" GUID.
Bytes Wave64Chunk(const char* id, Bytes payload, std::optional<std::uint64_t> size = std::nullopt)
{
    const bool riff = std::string(id, 4) == "riff";
    if (riff) {
        const Bytes wave = Wave64Chunk("wave", {});
        payload.insert(payload.begin(), wave.begin(), wave.begin() + 16);
    }
    const Bytes tail = riff ? Bytes{0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0, 0}
                            : Bytes{0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
    Bytes bytes = Join({Bytes(id, id + 4), tail, U64(size.value_or(24 + payload.size())), payload});
    bytes.resize((bytes.size() + 7) / 8 * 8, 0);
    return bytes;
}

// Crafted cases of the forms with 64-bit sizes, of sizes never written and of the refusals, beyond
// what the tools write (those are converted in tests/cli/wav_inputs_test.sh): each file's message,
// or the data it is found to hold.
TEST_F(InputAnalysis, WideFormsUnwrittenSizesAndRefusals)
{
    const Bytes samples = SineSamples16(44100, 2, 0.01); // 1764 bytes
    const Bytes format = Chunk("fmt ", PcmFormat(2, 44100, 16));
    const Bytes data = ChunkWithSize("data", 0xFFFFFFFF, samples);
    const Bytes fmt64 = Wave64Chunk("fmt ", PcmFormat(2, 44100, 16));
    Bytes headerOnlySizes = PcmWav(2, 44100, 16, samples); // RIFF size 36 and data size 0
    for (const std::size_t field : {4, 40})
        std::fill_n(headerOnlySizes.begin() + static_cast<long>(field), 4, 0);
    headerOnlySizes[4] = 36;
    Bytes table = Join({{'L', 'I', 'S', 'T'}, U64(6)});

    struct Case {
        const char* name;
        Bytes file;
        std::uint32_t message;
        std::uint64_t dataSize;
        bool lengthUnknown;
    };
    const std::vector<Case> cases = {
        {"BW64, a chunk sized in the table",
         Rf64("BW64", Join({U64(1 << 20), U64(1000), U64(250), {1, 0, 0, 0}, table}),
              Join({format, ChunkWithSize("LIST", 0xFFFFFFFF, Bytes(6, 'x')), data})),
         0, 1000, false},
        {"RF64 whose ds64 says 0, as ffmpeg writes into a pipe",
         Rf64("RF64", Bytes(28, 0), Join({format, data})), 0, samples.size(), true},
        {"RF64 without ds64", Rf64("RF64", {}, Join({format, data})), strings::kInputCorrupted, 0, false},
        {"Wave64, odd sizes padded to 8",
         Wave64Chunk("riff", Join({fmt64, Wave64Chunk("junk", Bytes(5, 1)), Wave64Chunk("data", samples),
                                   Wave64Chunk("data", Bytes(8, 2))})),
         0, samples.size(), false},
        // Wave64 written into a pipe: all ones (ffmpeg) or sizes below a header (0 here); the data
        // runs to the end of the file, its padding too.
        {"Wave64 of unreachable sizes",
         Wave64Chunk("riff", Join({fmt64, Wave64Chunk("data", samples, ~std::uint64_t{0} >> 1)}),
                     ~std::uint64_t{0}),
         0, samples.size() + 4, true},
        {"Wave64 of sizes 0", Wave64Chunk("riff", Join({fmt64, Wave64Chunk("data", samples, 0)}), 0), 0,
         samples.size() + 4, true},
        {"data size 0, RIFF size up to it", headerOnlySizes, 0, samples.size(), true},
        {"data placeholder", Riff("WAVE", Join({format, data})), 0, samples.size(), true},
        {"empty data chunk before another",
         Riff("WAVE", Join({format, Chunk("data", {}), Chunk("LIST", samples)})), strings::kInputHoldsNoAudio,
         0, false},
        {"less than one sample frame", PcmWav(2, 44100, 16, Bytes(3, 0)), strings::kInputHoldsNoAudio, 0,
         false},
        {"9 channels", PcmWav(9, 44100, 16, samples), strings::kInputChannelsMany, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool accepted = c.message == 0;
        EXPECT_EQ(Analyze(Write("case.wav", c.file)),
                  std::make_pair(accepted, accepted ? Messages{} : Messages{c.message}));
        if (accepted) {
            EXPECT_EQ(engine.GetDataSize(), c.dataSize);
            EXPECT_EQ(engine.GetInput().lengthUnknown, c.lengthUnknown);
            EXPECT_EQ(engine.GetInputFormat().nBlockAlign, 4);
        }
    }
}

TEST_F(InputAnalysis, MissingOrUnreadableFileGives104)
{
    EXPECT_EQ(Analyze(dir.File("missing.wav")), std::make_pair(false, Messages{104}));
    EXPECT_EQ(Analyze(dir.Path().string()), std::make_pair(false, Messages{104}));
}

TEST_F(InputAnalysis, FailureAfterSuccessKeepsCatalogueButDropsInput)
{
    ASSERT_TRUE(Analyze(Write("good.wav", PcmWav(2, 44100, 16, Bytes(40, 0)))).first);
    EXPECT_FALSE(Analyze(Write("bad.wav", Bytes(10, 0))).first);
    EXPECT_TRUE(engine.GetInputPath().empty());
    EXPECT_EQ(engine.GetFormatCount(), 2u);
}

TEST_F(InputAnalysis, UnsupportedRatePassesWithAnEmptyCatalogue)
{
    EXPECT_EQ(Analyze(Write("odd.wav", PcmWav(2, 7000, 16, Bytes(40, 0)))), std::make_pair(true, Messages{}));
    EXPECT_EQ(engine.GetFormatCount(), 0u);
}

TEST_F(InputAnalysis, ProbeIsSilentKeepsInputAndCatalogueAndHoldsTheFileOpen)
{
    const std::string good = Write("good.wav", PcmWav(2, 44100, 16, Bytes(40, 0)));
    ASSERT_TRUE(Analyze(good).first);
    const std::uint32_t offset = engine.GetDataOffset();

    RecordingPresenter presenter;
    ConverterEngine probe(codecs, &presenter);
    EXPECT_TRUE(probe.AnalyzeInput(Write("mono.wav", PcmWav(1, 22050, 8, Bytes(30, 0))), true));
    EXPECT_EQ(probe.GetInputChannels(), 1u);
    EXPECT_EQ(probe.GetInputSamplesPerSec(), 22050u);
    EXPECT_TRUE(probe.IsInputOpen());
    EXPECT_TRUE(probe.GetInputPath().empty());
    EXPECT_EQ(probe.GetFormatCount(), 0u);
    EXPECT_FALSE(probe.AnalyzeInput(Write("bad.wav", Bytes(3, 0)), true));
    EXPECT_FALSE(probe.IsInputOpen());
    EXPECT_TRUE(presenter.Messages().empty());

    EXPECT_TRUE(engine.AnalyzeInput(good, true));
    EXPECT_EQ(engine.GetInputPath(), good);
    EXPECT_EQ(engine.GetDataOffset(), offset);
    EXPECT_EQ(engine.GetFormatCount(), 2u);
}

TEST_F(InputAnalysis, FailWithMessageZeroDropsTheInputSilently)
{
    ASSERT_TRUE(Analyze(Write("good.wav", PcmWav(2, 44100, 16, Bytes(40, 0)))).first);
    RecordingPresenter presenter;
    engine.SetMessagePresenter(&presenter);
    EXPECT_FALSE(engine.FailWithMessage(0));
    EXPECT_TRUE(engine.GetInputPath().empty());
    EXPECT_TRUE(presenter.Messages().empty());
    engine.SetMessagePresenter(nullptr);
}

} // namespace
} // namespace cantrix::test
