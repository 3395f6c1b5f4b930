#include "engine/converter_engine.h"
#include "support/fake_codec_driver.h"
#include "support/wav_builder.h"

#include <cstring>
#include <gtest/gtest.h>

namespace cantrix::test {
namespace {

// An engine whose catalogue holds exactly `formats` (offered by one fake driver) for a PCM input.
class Catalogue {
public:
    explicit Catalogue(std::vector<FakeFormat> formats, std::vector<FakeFormat> otherDriverFormats = {})
    {
        FakeDriverConfig config;
        config.formats = std::move(formats);
        codecs.Install(std::make_unique<FakeCodecDriver>(config));
        if (!otherDriverFormats.empty()) {
            FakeDriverConfig other;
            other.manufacturerId = 5;
            other.formats = std::move(otherDriverFormats);
            codecs.Install(std::make_unique<FakeCodecDriver>(other));
        }
        WriteFile(dir.File("in.wav"), PcmWav(2, 44100, 16, Bytes(400, 0)));
        EXPECT_TRUE(engine.AnalyzeInput(dir.File("in.wav"), false));
    }

    TempDir dir;
    CodecManager codecs;
    ConverterEngine engine{codecs};
};

TEST(FormatCatalogue, KeepsLayer3FormatsInOrderFirstOfEachDescription)
{
    FakeFormat pcm = Layer3Format(8000, 2);
    pcm.tag = kWaveFormatPcm;
    pcm.description = "PCM";
    FakeFormat duplicate = Layer3Format(9000, 1);
    duplicate.description = Layer3Format(4000, 2).description;
    Catalogue c({Layer3Format(4000, 2), pcm, Layer3Format(2000, 1), duplicate},
                {Layer3Format(1000, 1), Layer3Format(2000, 1)});

    ASSERT_EQ(c.engine.GetFormatCount(), 3u);
    EXPECT_EQ(c.engine.GetFormatName(0), "4000 B/s Stereo");
    EXPECT_EQ(c.engine.GetFormatName(1), "2000 B/s Mono");
    EXPECT_EQ(c.engine.GetFormatName(2), "1000 B/s Mono");
    EXPECT_EQ(c.engine.GetFormats()[0].AvgBytesPerSec(), 4000u);
    EXPECT_EQ(c.engine.GetFormatName(3), "-");
    EXPECT_EQ(c.engine.GetFormatName(1000), "-");
}

TEST(FormatCatalogue, FormatBlockIsTheReportedRecordWithZeroTail)
{
    Catalogue c({Layer3Format(4000, 2)});
    const auto record = FakeCodecDriver::Record(Layer3Format(4000, 2));
    const FormatEntry& entry = c.engine.GetFormats().at(0);
    EXPECT_EQ(std::memcmp(entry.format.data(), record.data(), record.size()), 0);
    EXPECT_EQ(entry.format[30], 0);
    EXPECT_EQ(entry.format[31], 0);
}

TEST(FormatCatalogue, LargeFormatRecordsReachTheCatalogue)
{
    // A driver that announces records larger than the usual 1024-byte buffer must still get a
    // buffer of the announced size.
    TempDir dir;
    CodecManager codecs;
    FakeDriverConfig config;
    FakeFormat big = Layer3Format(4000, 2);
    big.recordSize = 3000;
    config.maxFormatSize = 3000;
    config.formats = {big};
    codecs.Install(std::make_unique<FakeCodecDriver>(config));
    WriteFile(dir.File("in.wav"), PcmWav(2, 44100, 16, Bytes(400, 0)));
    ConverterEngine engine(codecs);
    ASSERT_TRUE(engine.AnalyzeInput(dir.File("in.wav"), false));
    EXPECT_EQ(engine.GetFormatCount(), 1u);
}

TEST(FormatPresets, EmptyAndSingleEntryCatalogues)
{
    Catalogue empty({});
    EXPECT_EQ(empty.engine.GetFormatCount(), 0u);
    EXPECT_EQ(empty.engine.FindLowestBitrateFormat(), 0);
    EXPECT_EQ(empty.engine.FindModemFormat(), 0);
    EXPECT_EQ(empty.engine.FindIsdnFormat(), 0);
    EXPECT_EQ(empty.engine.GetFormatName(0), "-");

    Catalogue one({Layer3Format(20000, 2)});
    EXPECT_EQ(one.engine.FindLowestBitrateFormat(), 0);
    EXPECT_EQ(one.engine.FindModemFormat(), 0);
    EXPECT_EQ(one.engine.FindIsdnFormat(), 0);
}

TEST(FormatPresets, LimitsAreInclusive)
{
    Catalogue c({Layer3Format(1000, 1), Layer3Format(3000, 1), Layer3Format(3001, 2), Layer3Format(14000, 2),
                 Layer3Format(14001, 2)});
    EXPECT_EQ(c.engine.FindLowestBitrateFormat(), 0);
    EXPECT_EQ(c.engine.FindModemFormat(), 1);
    EXPECT_EQ(c.engine.FindIsdnFormat(), 3);
}

TEST(FormatPresets, ModemPrefersMoreChannelsAtEqualRateIsdnAndLowestDoNot)
{
    Catalogue c({Layer3Format(3000, 1), Layer3Format(3000, 2)});
    EXPECT_EQ(c.engine.FindModemFormat(), 1);
    EXPECT_EQ(c.engine.FindIsdnFormat(), 0);
    EXPECT_EQ(c.engine.FindLowestBitrateFormat(), 0);
}

TEST(FormatPresets, AllAboveTheLimitsFallBackToTheLowestRate)
{
    Catalogue c(
        {Layer3Format(32000, 2), Layer3Format(16000, 1), Layer3Format(16000, 2), Layer3Format(20000, 1)});
    EXPECT_EQ(c.engine.FindLowestBitrateFormat(), 1);
    EXPECT_EQ(c.engine.FindModemFormat(), 2);
    EXPECT_EQ(c.engine.FindIsdnFormat(), 1);
}

TEST(FormatPresets, HighestRateUnderTheLimitFirstOneWins)
{
    Catalogue c({Layer3Format(2000, 2), Layer3Format(12000, 1), Layer3Format(12000, 2), Layer3Format(2500, 1),
                 Layer3Format(2500, 2), Layer3Format(2500, 1)});
    EXPECT_EQ(c.engine.FindIsdnFormat(), 1);
    EXPECT_EQ(c.engine.FindModemFormat(), 4);
}

} // namespace
} // namespace cantrix::test
