// Wave output without a sound server: formats are judged before any device is sought, and a
// missing server is a clean, prompt failure that leaves no thread behind.
#include "no_sound_server.h"
#include "platform/wave_output.h"
#include "support/wav_builder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace cantrix {
namespace {

using WaveOutputWithoutServer = test::NoSoundServer;

MPEGLAYER3WAVEFORMAT Layer3(std::uint16_t channels, std::uint32_t rate, std::uint32_t kbps)
{
    MPEGLAYER3WAVEFORMAT format{};
    format.wfx.wFormatTag = kWaveFormatMpegLayer3;
    format.wfx.nChannels = channels;
    format.wfx.nSamplesPerSec = rate;
    format.wfx.nAvgBytesPerSec = kbps * 1000 / 8;
    format.wfx.nBlockAlign = 1;
    format.wfx.cbSize = kMpegLayer3CbSize;
    format.wID = kMpegLayer3IdMpeg;
    format.fdwFlags = kMpegLayer3FlagPaddingIso;
    format.nBlockSize = static_cast<std::uint16_t>((rate >= 32000 ? 144 : 72) * kbps * 1000 / rate);
    format.nFramesPerBlock = 1;
    return format;
}

std::vector<unsigned char> Bytes(const void* record, std::size_t size)
{
    std::vector<unsigned char> bytes(size);
    std::memcpy(bytes.data(), record, size);
    return bytes;
}

template <typename Record> std::vector<unsigned char> Bytes(const Record& record)
{
    return Bytes(&record, sizeof record);
}

TEST_F(WaveOutputWithoutServer, EveryPlayableFormatFailsWithNoDeviceAndLeavesNoThread)
{
    const std::size_t threadsBefore = ThreadCount();
    const std::vector<std::vector<unsigned char>> formats = {
        Bytes(test::PcmRecord(2, 44100, 16)), Bytes(test::PcmRecord(1, 8000, 8)),
        Bytes(test::PcmRecord(2, 96000, 24)), Bytes(test::PcmRecord(6, 48000, 32)),
        Bytes(Layer3(2, 44100, 128)),         Bytes(Layer3(1, 8000, 8)),
    };
    WaveOutput output;
    for (const auto& format : formats) {
        EXPECT_EQ(output.Open(format.data(), format.size()), mmresult::kBadDeviceId);
        EXPECT_FALSE(output.IsOpen());
        EXPECT_EQ(ThreadCount(), threadsBefore);
    }
    // The failed device takes no further calls.
    WAVEHDR header;
    EXPECT_EQ(output.PrepareHeader(header), mmresult::kInvalidHandle);
    EXPECT_EQ(output.Write(header), mmresult::kInvalidHandle);
    EXPECT_EQ(output.Reset(), mmresult::kInvalidHandle);
    EXPECT_EQ(output.Close(), mmresult::kInvalidHandle);
}

TEST_F(WaveOutputWithoutServer, FormatsThatCannotPlayAreRefusedBeforeAnyDeviceIsSought)
{
    WAVEFORMATEX twelveBits = test::PcmRecord(2, 44100, 16);
    twelveBits.wBitsPerSample = 12;
    WAVEFORMATEX wrongAlign = test::PcmRecord(2, 44100, 16);
    wrongAlign.nBlockAlign = 2;
    WAVEFORMATEX adpcm = test::PcmRecord(1, 22050, 16);
    adpcm.wFormatTag = 2;
    MPEGLAYER3WAVEFORMAT noExtension = Layer3(2, 44100, 128);
    noExtension.wfx.cbSize = 0;
    const MPEGLAYER3WAVEFORMAT complete = Layer3(2, 44100, 128);

    const std::vector<std::vector<unsigned char>> formats = {
        Bytes(twelveBits),
        Bytes(wrongAlign),
        Bytes(adpcm),
        Bytes(test::PcmRecord(0, 44100, 16)),
        Bytes(test::PcmRecord(1, 0, 16)),
        Bytes(noExtension),
        Bytes(&complete, sizeof(WAVEFORMATEX)), // the Layer-3 record cut short
        Bytes(Layer3(3, 44100, 128)),
        Bytes(Layer3(2, 44000, 128)), // no MPEG rate
        Bytes(&complete, 10),
    };
    WaveOutput output;
    for (std::size_t i = 0; i < formats.size(); ++i)
        EXPECT_EQ(output.Open(formats[i].data(), formats[i].size()), mmresult::kWaveBadFormat)
            << "format " << i;
    EXPECT_EQ(output.Open(nullptr, 0), mmresult::kWaveBadFormat);
}

} // namespace
} // namespace cantrix
