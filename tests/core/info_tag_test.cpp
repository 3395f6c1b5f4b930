// The encoder's delay is one fact: the format record states it, the driver's tag frame carries it,
// and playback without a tag, trimmed by the record's delay, starts with the input's first sample.
#include "drivers/lame_driver.h"
#include "platform/mpeg_decoder.h"
#include "support/wav_builder.h"
#include "support/worker_protocol.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace cantrix {
namespace {

TEST(EncoderDelay, RecordTagAndPlaybackShareIt)
{
    const WAVEFORMATEX source = test::PcmRecord(1, 22050, 16);
    std::vector<OfferedFormat> offered;
    LameDriver driver;
    ASSERT_EQ(driver.ConvertibleFormats(source, kWaveFormatMpegLayer3, offered), mmresult::kNoError);
    const auto format = std::find_if(offered.begin(), offered.end(), [](const OfferedFormat& format) {
        return format.description == "64 kBit/s, 22050 Hz, Mono";
    });
    ASSERT_NE(format, offered.end());
    MPEGLAYER3WAVEFORMAT record;
    std::memcpy(&record, format->format.data(), sizeof record);
    std::unique_ptr<CodecStream> stream;
    ASSERT_EQ(driver.OpenStream(source, format->format.data(), sizeof record, stream), mmresult::kNoError);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-0.5, 0.5);
    std::vector<std::int16_t> input(22050);
    test::Bytes pcm;
    for (std::int16_t& sample : input) {
        test::AppendSample(pcm, 16, unit(random));
        std::memcpy(&sample, &pcm[pcm.size() - 2], 2);
    }
    const std::vector<unsigned char> frames = test::EncodeLikeWorker(*stream, pcm).output;
    std::vector<unsigned char> tag;
    ASSERT_EQ(stream->Tag(tag, 0), mmresult::kNoError);
    const std::size_t delayAt = 4 + 9 + 120 + 21; // header, side information, Xing fields
    EXPECT_EQ(tag[delayAt] << 4 | tag[delayAt + 1] >> 4, record.nCodecDelay);

    MpegDecoder decoder;
    ASSERT_TRUE(decoder.Open(22050, 1, record.nCodecDelay + MpegDecoder::kSynthesisDelay));
    ASSERT_TRUE(decoder.Feed(frames.data(), frames.size()));
    std::vector<std::int16_t> played(8192);
    std::size_t filled = 0, got = 0;
    while (filled < played.size() * 2 &&
           decoder.Read(reinterpret_cast<unsigned char*>(played.data()) + filled, played.size() * 2 - filled,
                        got) == MpegDecoder::Status::Data)
        filled += got;
    ASSERT_EQ(filled, played.size() * 2);
    auto correlation = [&](int lag) {
        double sum = 0;
        for (int i = 64; i < 4096; ++i)
            sum += static_cast<double>(played[static_cast<std::size_t>(i + lag)]) *
                   input[static_cast<std::size_t>(i)];
        return sum;
    };
    for (int lag = -48; lag <= 48; ++lag) {
        if (lag != 0) {
            EXPECT_GT(correlation(0), correlation(lag)) << "lag " << lag;
        }
    }
}

} // namespace
} // namespace cantrix
