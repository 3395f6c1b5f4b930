#pragma once
// A codec driver for tests: any identity, any offered formats and any failure, with a stream
// whose output is a deterministic function of what it consumed.
#include "platform/codec_driver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cantrix::test {

struct FakeFormat {
    std::uint16_t tag = kWaveFormatMpegLayer3;
    std::uint16_t channels = 2;
    std::uint32_t bytesPerSec = 16000;
    std::string description;
    std::size_t recordSize = sizeof(MPEGLAYER3WAVEFORMAT);
};

// What the driver saw; shared with the test, which keeps it after the manager owns the driver.
struct FakeDriverLog {
    std::atomic<int> aboutCalls{0};
    std::atomic<int> streamsOpened{0};
    std::atomic<int> convertCalls{0};
    std::atomic<std::uint32_t> maxFormatBufferSeen{0};
};

struct FakeDriverConfig {
    std::uint16_t manufacturerId = 172;
    std::uint16_t productId = 13;
    bool detailsFail = false;
    std::uint32_t maxFormatSize = sizeof(MPEGLAYER3WAVEFORMAT);
    std::vector<FakeFormat> formats;
    std::uint32_t onlySampleRate = 0; // 0: formats are offered for every PCM source
    bool openFails = false;
    int convertFailsAtCall = -1; // 1-based; -1: never
    bool endlessFlush = false;
    // Output bytes per consumed source byte = outputNumerator / outputDenominator.
    std::uint32_t outputNumerator = 1;
    std::uint32_t outputDenominator = 2;
    std::uint32_t flushBytes = 0;
    std::shared_ptr<FakeDriverLog> log = std::make_shared<FakeDriverLog>();
};

// A Layer-3 format entry of `channels` at `bytesPerSec`, described as "<n> B/s <channels>".
FakeFormat Layer3Format(std::uint32_t bytesPerSec, std::uint16_t channels);

class FakeCodecDriver : public CodecDriver {
public:
    explicit FakeCodecDriver(FakeDriverConfig config) : config(std::move(config)) {}

    MmResult Details(ACMDRIVERDETAILS& details) override;
    MmResult About(DriverAboutHost* host) override;
    std::uint32_t MaxFormatSize() override { return config.maxFormatSize; }
    MmResult ConvertibleFormats(const WAVEFORMATEX& source, std::uint16_t formatTag,
                                std::vector<OfferedFormat>& formats) override;
    MmResult OpenStream(const WAVEFORMATEX& source, const unsigned char* destination,
                        std::size_t destinationSize, std::unique_ptr<CodecStream>& stream) override;

    // The record of `format` as this driver reports it.
    static std::vector<unsigned char> Record(const FakeFormat& format);
    // The byte the fake stream writes at position `index` of its output.
    static unsigned char OutputByte(std::uint64_t index) { return static_cast<unsigned char>(index * 7 + 3); }

private:
    FakeDriverConfig config;
};

} // namespace cantrix::test
