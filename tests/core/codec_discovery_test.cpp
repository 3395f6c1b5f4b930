#include "engine/converter_engine.h"
#include "support/fake_codec_driver.h"
#include "support/recording_targets.h"

#include <gtest/gtest.h>

namespace cantrix::test {
namespace {

FakeDriverConfig Identity(std::uint16_t manufacturer, std::uint16_t product)
{
    FakeDriverConfig config;
    config.manufacturerId = manufacturer;
    config.productId = product;
    return config;
}

struct RecordingAboutHost : DriverAboutHost {
    void ShowDriverAbout(const std::string& title, const std::string&) override { titles.push_back(title); }
    std::vector<std::string> titles;
};

TEST(CodecDiscovery, TakesOnlyProductIdsTenToFourteenOfManufacturer172)
{
    struct Case {
        std::uint16_t manufacturer, product;
        int edition;
        const char* name;
    };
    const Case cases[] = {{172, 9, -1, ""},       {172, 15, -1, ""},      {171, 13, -1, ""},
                          {172, 10, 0, "Pebble"}, {172, 11, 1, "Meadow"}, {172, 12, 2, "Ridge"},
                          {172, 13, 3, "Summit"}, {172, 14, 4, ""}};
    for (const Case& c : cases) {
        CodecManager codecs;
        codecs.Install(std::make_unique<FakeCodecDriver>(Identity(c.manufacturer, c.product)));
        ConverterEngine engine(codecs);
        SCOPED_TRACE(c.product);
        EXPECT_EQ(engine.FindCodecDriver(), c.edition >= 0);
        EXPECT_EQ(engine.GetCodecEdition(), c.edition);
        EXPECT_EQ(engine.GetCodecEditionName(), c.name);
    }
}

TEST(CodecDiscovery, FirstMatchingDriverWinsAndUnreadableDetailsAreSkipped)
{
    CodecManager codecs;
    FakeDriverConfig unreadable = Identity(172, 10);
    unreadable.detailsFail = true;
    codecs.Install(std::make_unique<FakeCodecDriver>(unreadable));
    codecs.Install(std::make_unique<FakeCodecDriver>(Identity(1, 1)));
    codecs.Install(std::make_unique<FakeCodecDriver>(Identity(172, 11)));
    codecs.Install(std::make_unique<FakeCodecDriver>(Identity(172, 13)));
    ConverterEngine engine(codecs);
    EXPECT_EQ(engine.GetCodecEdition(), 1);
    EXPECT_EQ(engine.GetCodecEditionName(), "Meadow");
}

TEST(CodecDiscovery, CodecInstalledLaterIsFoundOnTheNextQuery)
{
    CodecManager codecs;
    ConverterEngine engine(codecs);
    EXPECT_EQ(engine.GetCodecEdition(), -1);
    codecs.Install(std::make_unique<FakeCodecDriver>(Identity(172, 12)));
    EXPECT_EQ(engine.GetCodecEdition(), 2);
    EXPECT_EQ(engine.GetCodecEditionName(), "Ridge");
}

TEST(CodecDiscovery, AboutBeepsWithoutCodecAndOpensTheDriversBoxWithOne)
{
    RecordingPresenter presenter;
    RecordingAboutHost host;
    {
        CodecManager codecs;
        ConverterEngine engine(codecs, &presenter);
        engine.ShowCodecAbout(&host);
        EXPECT_EQ(presenter.Sounds(), std::vector<EventSound>{EventSound::Bell});
        EXPECT_TRUE(host.titles.empty());
    }
    CodecManager codecs;
    FakeDriverConfig config = Identity(172, 13);
    auto log = config.log;
    codecs.Install(std::make_unique<FakeCodecDriver>(config));
    ConverterEngine engine(codecs, &presenter);
    engine.ShowCodecAbout(&host);
    EXPECT_EQ(log->aboutCalls, 1);
    EXPECT_EQ(host.titles.size(), 1u);
    EXPECT_EQ(presenter.Sounds(), std::vector<EventSound>{EventSound::Bell});
}

} // namespace
} // namespace cantrix::test
