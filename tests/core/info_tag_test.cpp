// The Layer-3 driver's tag frame and its delay: where LAME writes a tag the driver's is LAME's,
// byte for byte; in every format mpg123 plays back exactly the input from it; a stream joined from
// segments gets its serial encode's tag for its own frames; and playback without a tag, trimmed by
// the format record's delay, starts with the input's first sample.
#include "drivers/lame_driver.h"
#include "drivers/lame_info_tag.h"
#include "drivers/layer3_tally.h"
#include "platform/mpeg_decoder.h"
#include "support/wav_builder.h"
#include "support/worker_protocol.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <random>

namespace cantrix {
namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kFormatStep = 7; // sanitizers slow every encode down many times
#else
constexpr std::size_t kFormatStep = 1;
#endif

// Around the first frames, and a second of 44.1 kHz.
constexpr std::uint32_t kLengths[] = {1, 575, 576, 1151, 1152, 1153, 44100};

std::vector<unsigned char> Noise(const WAVEFORMATEX& source, std::uint32_t frames)
{
    std::mt19937 random(frames);
    std::uniform_real_distribution<double> unit(-0.5, 0.5);
    std::vector<unsigned char> pcm;
    for (std::uint32_t i = 0; i < frames * source.nChannels; ++i)
        test::AppendSample(pcm, 16, unit(random));
    return pcm;
}

MPEGLAYER3WAVEFORMAT Record(const WAVEFORMATEX& source, const LameOutputFormat& output)
{
    std::vector<OfferedFormat> offered;
    LameDriver().ConvertibleFormats(source, kWaveFormatMpegLayer3, offered);
    MPEGLAYER3WAVEFORMAT record{};
    for (const OfferedFormat& format : offered) {
        if (format.description == LameFormatTable::Description(output))
            std::memcpy(&record, format.format.data(), sizeof record);
    }
    return record;
}

// The frames of the driver's stream for `pcm`, and its tag.
struct Encoded {
    std::vector<unsigned char> tag;
    std::vector<unsigned char> frames;
};

Encoded EncodeWithTheDriver(const WAVEFORMATEX& source, const LameOutputFormat& output,
                            const std::vector<unsigned char>& pcm)
{
    const MPEGLAYER3WAVEFORMAT record = Record(source, output);
    std::unique_ptr<CodecStream> stream;
    EXPECT_EQ(LameDriver().OpenStream(source, reinterpret_cast<const unsigned char*>(&record), sizeof record,
                                      stream),
              mmresult::kNoError);
    Encoded encoded;
    if (!stream)
        return encoded;
    std::vector<unsigned char> placeholder;
    EXPECT_EQ(stream->Tag(placeholder, kStreamTagPlaceholder), mmresult::kNoError);
    encoded.frames = test::EncodeLikeWorker(*stream, pcm).output;
    EXPECT_EQ(stream->Tag(encoded.tag, 0), mmresult::kNoError);
    EXPECT_EQ(encoded.tag.size(), placeholder.size());
    return encoded;
}

// What LAME writes for `pcm` (16-bit) with its own tag frame in front.
std::vector<unsigned char> LameFile(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                    const std::vector<unsigned char>& pcm)
{
    lame_global_flags* lame = lame_init();
    lame_set_num_channels(lame, source.nChannels);
    lame_set_in_samplerate(lame, static_cast<int>(source.nSamplesPerSec));
    lame_set_out_samplerate(lame, static_cast<int>(output.sampleRate));
    lame_set_brate(lame, output.kbps);
    if (output.channels == 1)
        lame_set_mode(lame, MONO);
    lame_set_write_id3tag_automatic(lame, 0);
    EXPECT_GE(lame_init_params(lame), 0);
    std::vector<short> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    const int frames = static_cast<int>(samples.size() / source.nChannels);
    std::vector<unsigned char> file(samples.size() * 2 + 20000);
    const int size = static_cast<int>(file.size());
    int written = source.nChannels == 2
                      ? lame_encode_buffer_interleaved(lame, samples.data(), frames, file.data(), size)
                      : lame_encode_buffer(lame, samples.data(), nullptr, frames, file.data(), size);
    written += lame_encode_flush(lame, file.data() + written, size - written);
    file.resize(static_cast<std::size_t>(written));
    // The tag goes over the blank frame LAME wrote first.
    EXPECT_GT(lame_get_lametag_frame(lame, file.data(), file.size()), 0u);
    lame_close(lame);
    return file;
}

// The sample frames mpg123 gives back for `file`, at the output's rate; `skip` frames dropped.
std::vector<std::int16_t> Decode(const std::vector<unsigned char>& file, const LameOutputFormat& output,
                                 std::size_t skip = 0)
{
    MpegDecoder decoder;
    std::vector<std::int16_t> samples;
    if (!decoder.Open(output.sampleRate, output.channels, skip) || !decoder.Feed(file.data(), file.size()))
        return samples;
    std::vector<unsigned char> buffer(1 << 16);
    std::size_t got = 0;
    while (decoder.Read(buffer.data(), buffer.size(), got) == MpegDecoder::Status::Data) {
        const std::size_t at = samples.size();
        samples.resize(at + got / 2);
        std::memcpy(samples.data() + at, buffer.data(), got / 2 * 2);
    }
    return samples;
}

std::vector<unsigned char> Joined(const Encoded& encoded)
{
    std::vector<unsigned char> file = encoded.tag;
    file.insert(file.end(), encoded.frames.begin(), encoded.frames.end());
    return file;
}

TEST(LameInfoTag, IsLamesOwnAndPlaysBackExactlyTheInputInEveryFormat)
{
    const auto& formats = lame_outputs::All();
    for (std::size_t i = 0; i < formats.size(); i += kFormatStep) {
        const LameOutputFormat& output = formats[i];
        const std::uint32_t length = kLengths[i / kFormatStep % std::size(kLengths)];
        SCOPED_TRACE(LameFormatTable::Description(output) + ", " + std::to_string(length) + " samples");
        const WAVEFORMATEX source = test::PcmRecord(output.channels, output.sampleRate, 16);
        const std::vector<unsigned char> pcm = Noise(source, length);
        const std::vector<unsigned char> file = Joined(EncodeWithTheDriver(source, output, pcm));
        EXPECT_EQ(Decode(file, output).size(), std::size_t{length} * output.channels);
        if (LameInfoTag::TagKbps(output) == output.kbps) {
            EXPECT_TRUE(file == LameFile(source, output, pcm)) << "not LAME's file";
        }
    }
}

TEST(LameInfoTag, LongStreamsGetLamesSeekTableAndResampledOnesTheRiffLength)
{
    // Past the 400 frames after which LAME's seek table keeps every other entry, still serial.
    for (const LameOutputFormat output : {LameOutputFormat{44100, 2, 128}, LameOutputFormat{24000, 1, 64}}) {
        const WAVEFORMATEX source = test::PcmRecord(output.channels, output.sampleRate, 16);
        const std::vector<unsigned char> pcm =
            Noise(source, 410 * layer3::FrameSamples(output.sampleRate) + 7);
        EXPECT_TRUE(Joined(EncodeWithTheDriver(source, output, pcm)) == LameFile(source, output, pcm))
            << LameFormatTable::Description(output);
    }
    // Half the rate: "fact" and the tag count the whole output samples, 22050 of 44101 inputs.
    const LameOutputFormat half{22050, 2, 64};
    const WAVEFORMATEX source = test::PcmRecord(2, 44100, 16);
    const std::vector<unsigned char> file = Joined(EncodeWithTheDriver(source, half, Noise(source, 44101)));
    EXPECT_EQ(Decode(file, half).size(), 22050u * 2);
}

TEST(LameInfoTag, JoinedSegmentsGetTheSerialTagOfTheirOwnFrames)
{
    const LameOutputFormat output{44100, 2, 128};
    const WAVEFORMATEX source = test::PcmRecord(2, 44100, 16);
    const std::vector<unsigned char> pcm = Noise(source, 1200 * 1152 + 5);
    const Encoded joined = EncodeWithTheDriver(source, output, pcm);
    std::vector<unsigned char> lame = LameFile(source, output, pcm);
    ASSERT_NE(std::vector<unsigned char>(lame.begin() + 417, lame.end()), joined.frames) << "not segmented";
    // The serial tag, with the CRC of the joined frames and the mode extension of their last one.
    lame.resize(joined.tag.size());
    lame[3] = joined.tag[3];
    const std::size_t extension = 36 + 120;
    const std::uint16_t musicCrc = Crc16(0, joined.frames.data(), joined.frames.size());
    lame[extension + 32] = static_cast<unsigned char>(musicCrc >> 8);
    lame[extension + 33] = static_cast<unsigned char>(musicCrc);
    const std::uint16_t tagCrc = Crc16(0, lame.data(), extension + 34);
    lame[extension + 34] = static_cast<unsigned char>(tagCrc >> 8);
    lame[extension + 35] = static_cast<unsigned char>(tagCrc);
    EXPECT_EQ(joined.tag, lame);
    EXPECT_EQ(Decode(Joined(joined), output).size(), (1200u * 1152 + 5) * 2);
}

TEST(LameInfoTag, TheEncodersDelayIsOneFactForTagRecordAndPlayback)
{
    const LameOutputFormat output{22050, 1, 32};
    const WAVEFORMATEX source = test::PcmRecord(1, 22050, 16);
    const std::vector<unsigned char> pcm = Noise(source, 22050);
    const Encoded encoded = EncodeWithTheDriver(source, output, pcm);
    const std::uint16_t delay = Record(source, output).nCodecDelay;
    const std::size_t extension = 4 + 9 + 120;
    EXPECT_EQ(encoded.tag[extension + 21] << 4 | encoded.tag[extension + 22] >> 4, delay);
    // Without the tag, the record's delay and the decoder's own trimmed: the input from its start.
    const std::vector<std::int16_t> played =
        Decode(encoded.frames, output, delay + MpegDecoder::kSynthesisDelay);
    ASSERT_GE(played.size(), 4096u);
    auto correlation = [&](std::ptrdiff_t lag) {
        double sum = 0;
        for (std::ptrdiff_t i = 64; i < 4096; ++i)
            sum += static_cast<double>(played[static_cast<std::size_t>(i + lag)]) *
                   static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
        return sum;
    };
    for (std::ptrdiff_t lag = -32; lag <= 32; ++lag) {
        if (lag != 0) {
            EXPECT_GT(correlation(0), correlation(lag)) << "lag " << lag;
        }
    }
}

} // namespace
} // namespace cantrix
