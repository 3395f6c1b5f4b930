#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"
#include "support/wav_builder.h"

#include <cstring>
#include <gtest/gtest.h>

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

TEST_F(InputAnalysis, AcceptsEmptyDataExtraChunksAndLongFormatChunks)
{
    EXPECT_TRUE(Analyze(Write("empty.wav", PcmWav(1, 44100, 16, {}))).first);
    EXPECT_EQ(engine.GetDataSize(), 0u);

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
        bool plainPcm;
    };
    for (const Case& c : std::vector<Case>{
             {"24-bit", 24, 24, 22, 1, 0, 0, true},
             {"20 valid bits in 24", 24, 20, 22, 1, 0, 0, true},
             {"32-bit with a longer extension", 32, 32, 24, 1, 2, 0, true},
             {"longer extension than the chunk", 16, 16, 24, 1, 0, 0, false},
             {"no extension announced", 16, 16, 0, 1, 0, 0, false},
             {"file ends in the extension", 16, 16, 22, 1, 0, 10, false},
             {"valid bits above the container", 16, 24, 22, 1, 0, 0, false},
             {"float", 32, 32, 22, 3, 0, 0, false},
             {"unknown sub-format", 16, 16, 22, 0x5A, 0, 0, false},
         }) {
        SCOPED_TRACE(c.name);
        Bytes subFormat(kSubFormatPcm.begin(), kSubFormatPcm.end());
        subFormat[0] = c.subFormat;
        Bytes extension = Extension(c.cbSize, c.validBits, subFormat);
        extension.resize(extension.size() + c.extra);
        Bytes file = Wav(PcmFormat(2, 44100, c.bits, kWaveFormatExtensible, extension), Bytes(48, 0));
        if (c.cut != 0)
            file.resize(12 + 8 + 40 - c.cut);

        EXPECT_EQ(Analyze(Write("extensible.wav", file)),
                  std::make_pair(c.plainPcm, c.plainPcm ? Messages{} : Messages{strings::kInputNotPcm}));
        const WAVEFORMATEX pcm = PcmRecord(2, 44100, c.bits);
        if (c.plainPcm) {
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
