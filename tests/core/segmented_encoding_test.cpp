// Long streams of the Layer-3 driver, encoded in segments on a worker pool: the same bytes at every
// thread count, the frames of one serial encode, a valid joined stream, a bounded drain, serial
// quality, and a stop in the middle.
#include "drivers/lame_driver.h"
#include "drivers/lame_pcm_encoder.h"
#include "drivers/layer3_frames.h"
#include "drivers/segment_plan.h"
#include "platform/mpeg_decoder.h"
#include "support/wav_builder.h"
#include "support/worker_protocol.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace cantrix {
namespace {

// Something like music: plucked notes with harmonics, drum hits of noise, and a quiet passage, so
// that the encoder meets transients, steady tones and a filling bit reservoir.
std::vector<unsigned char> MusicPcm(const WAVEFORMATEX& format, double seconds)
{
    const std::uint32_t rate = format.nSamplesPerSec;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<double> left(frames), right(frames);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (double start = 0; start < seconds; start += 0.1 + 0.3 * unit(random)) {
        const double hz = 110 * std::pow(2.0, std::floor(unit(random) * 36) / 12);
        const double pan = unit(random);
        const bool drum = unit(random) < 0.4;
        const auto first = static_cast<std::size_t>(start * rate);
        for (std::size_t i = 0; i < rate && first + i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            double value = 0;
            for (int harmonic = 1; harmonic <= 6 && hz * harmonic < rate / 2.0; ++harmonic)
                value += std::sin(2 * M_PI * hz * harmonic * t) / harmonic * std::exp(-t * (3 + harmonic));
            value *= 0.2;
            if (drum && t < 0.1)
                value += (unit(random) * 2 - 1) * 0.4 * std::exp(-t * 40);
            left[first + i] += value * (1 - pan);
            right[first + i] += value * pan;
        }
    }
    std::vector<unsigned char> pcm;
    for (std::size_t i = 0; i < frames; ++i) {
        const double gain = std::fmod(static_cast<double>(i) / rate, 20.0) > 17 ? 0.02 : 1.0;
        test::AppendSample(pcm, format.wBitsPerSample, std::clamp(left[i] * gain, -1.0, 1.0));
        if (format.nChannels == 2)
            test::AppendSample(pcm, format.wBitsPerSample, std::clamp(right[i] * gain, -1.0, 1.0));
    }
    return pcm;
}

OfferedFormat Format(LameDriver& driver, const WAVEFORMATEX& source, const std::string& description)
{
    std::vector<OfferedFormat> formats;
    driver.ConvertibleFormats(source, kWaveFormatMpegLayer3, formats);
    for (const OfferedFormat& format : formats) {
        if (format.description == description)
            return format;
    }
    ADD_FAILURE() << description << " is not offered";
    return {};
}

std::vector<unsigned char> EncodeWithPool(const WAVEFORMATEX& source, const std::string& description,
                                          const std::vector<unsigned char>& pcm, unsigned threads,
                                          int* endPasses)
{
    WorkerPool pool;
    pool.SetThreadLimit(threads);
    LameDriver driver(pool);
    const OfferedFormat format = Format(driver, source, description);
    std::unique_ptr<CodecStream> stream;
    EXPECT_EQ(driver.OpenStream(source, format.format.data(), format.format.size(), stream),
              mmresult::kNoError);
    if (stream == nullptr)
        return {};
    test::WorkerRun run = test::EncodeLikeWorker(*stream, pcm);
    if (endPasses != nullptr)
        *endPasses = run.endPasses;
    return run.output;
}

// One encoder over the whole input: what a serial encode writes.
std::vector<unsigned char> EncodeSerially(const WAVEFORMATEX& source, const LameOutputFormat& output,
                                          const std::vector<unsigned char>& pcm)
{
    std::unique_ptr<LamePcmEncoder> encoder;
    EXPECT_EQ(LamePcmEncoder::Open(source, output, encoder), mmresult::kNoError);
    std::vector<unsigned char> mp3;
    EXPECT_TRUE(
        encoder->Encode(pcm.data(), static_cast<std::uint32_t>(pcm.size() / encoder->FrameBytes()), mp3));
    EXPECT_TRUE(encoder->Flush(mp3));
    return mp3;
}

std::vector<double> Decode(const std::vector<unsigned char>& mp3, long rate, int channels)
{
    MpegDecoder decoder;
    EXPECT_TRUE(decoder.Open(rate, channels));
    EXPECT_TRUE(decoder.Feed(mp3.data(), mp3.size()));
    std::vector<double> samples;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        std::size_t got = 0;
        const MpegDecoder::Status status = decoder.Read(buffer.data(), buffer.size(), got);
        for (std::size_t i = 0; i + 1 < got; i += 2) {
            std::int16_t sample;
            std::memcpy(&sample, &buffer[i], 2);
            samples.push_back(sample / 32768.0);
        }
        if (status != MpegDecoder::Status::Data)
            return samples;
    }
}

std::vector<double> SourceSamples(const std::vector<unsigned char>& pcm, const WAVEFORMATEX& format)
{
    std::vector<double> samples;
    const std::size_t width = format.wBitsPerSample / 8;
    for (std::size_t at = 0; at + width <= pcm.size(); at += width) {
        if (width == 1) {
            samples.push_back((pcm[at] - 128) / 128.0);
            continue;
        }
        std::uint32_t value = 0;
        for (std::size_t byte = 0; byte < width; ++byte)
            value |= std::uint32_t{pcm[at + byte]} << (8 * (4 - width + byte));
        samples.push_back(static_cast<std::int32_t>(value) / 2147483648.0);
    }
    return samples;
}

struct Coding {
    double worstFrameDb = 0; // the largest excess of the segmented stream's error in one frame
    double wholeDb = 0;      // its excess over the whole stream
};

// Both decodings against the source, frame by frame, at the delay where the serial one fits best.
Coding CompareCoding(const std::vector<double>& source, const std::vector<double>& serial,
                     const std::vector<double>& segmented, int channels)
{
    auto error = [&](const std::vector<double>& decoded, std::size_t delay, std::size_t from,
                     std::size_t to) {
        double sum = 0;
        for (std::size_t i = from * channels; i < to * channels && (i + delay * channels) < decoded.size();
             ++i)
            sum += std::pow(decoded[i + delay * channels] - source[i], 2);
        return sum;
    };
    const std::size_t frames = source.size() / channels;
    std::size_t delay = 0;
    double best = INFINITY;
    for (std::size_t candidate = 1000; candidate < 1200; ++candidate) {
        const double e = error(serial, candidate, frames / 2, frames / 2 + 4096);
        if (e < best) {
            best = e;
            delay = candidate;
        }
    }
    Coding coding;
    double serialTotal = 0, segmentedTotal = 0;
    constexpr std::size_t kFrame = 1152;
    for (std::size_t from = 0; from + kFrame <= frames; from += kFrame) {
        const double a = error(serial, delay, from, from + kFrame);
        const double b = error(segmented, delay, from, from + kFrame);
        serialTotal += a;
        segmentedTotal += b;
        coding.worstFrameDb = std::max(coding.worstFrameDb, 10 * std::log10((b + 1e-9) / (a + 1e-9)));
    }
    coding.wholeDb = 10 * std::log10(segmentedTotal / serialTotal);
    return coding;
}

struct Case {
    WAVEFORMATEX source;
    const char* format;
    double seconds;
};

TEST(Segmented, SameBytesAtEveryThreadCountAndTheFramesOfOneSerialEncode)
{
    const Case cases[] = {
        {test::PcmRecord(2, 44100, 16), "128 kBit/s, 44100 Hz, Stereo", 34},
        {test::PcmRecord(1, 48000, 24), "64 kBit/s, 48000 Hz, Mono", 24},
        {test::PcmRecord(1, 11025, 16), "16 kBit/s, 11025 Hz, Mono", 34},
        {test::PcmRecord(2, 32000, 16), "320 kBit/s, 32000 Hz, Stereo", 24},
        // Resampled by whole factors, with a mono downmix.
        {test::PcmRecord(2, 44100, 8), "64 kBit/s, 22050 Hz, Stereo", 24},
        {test::PcmRecord(2, 96000, 32), "32 kBit/s, 24000 Hz, Mono", 24},
        // Stays serial: 50 kHz is no whole multiple of 48 kHz; and a stream shorter than ten seconds.
        {test::PcmRecord(2, 50000, 16), "128 kBit/s, 48000 Hz, Stereo", 14},
        {test::PcmRecord(2, 44100, 16), "128 kBit/s, 44100 Hz, Stereo", 9.5},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::to_string(test.source.nSamplesPerSec) + " Hz, " +
                     std::to_string(test.source.nChannels) + " channels, " +
                     std::to_string(test.source.wBitsPerSample) + " bits to " + test.format);
        const std::vector<unsigned char> pcm = MusicPcm(test.source, test.seconds);
        int endPasses = 0;
        const std::vector<unsigned char> one = EncodeWithPool(test.source, test.format, pcm, 1, nullptr);
        const std::vector<unsigned char> many = EncodeWithPool(test.source, test.format, pcm, 64, &endPasses);
        EXPECT_TRUE(one == many) << "the thread count changed the bytes";
        // Every segment in flight drains in far fewer passes than callers allow.
        EXPECT_LE(endPasses, 1024);

        WorkerPool unused;
        LameDriver driver(unused);
        const OfferedFormat offered = Format(driver, test.source, test.format);
        const std::optional<LameOutputFormat> output =
            LameFormatTable::Match(test.source, offered.format.data(), offered.format.size());
        ASSERT_TRUE(output);
        const std::vector<unsigned char> serial = EncodeSerially(test.source, *output, pcm);
        const std::optional<SegmentPlan> plan = PlanSegments(test.source.nSamplesPerSec, output->sampleRate);
        Layer3FrameIndex serialFrames;
        ASSERT_TRUE(serialFrames.Update(serial));
        if (!plan || serialFrames.Frames().size() <= plan->EncoderEnd(0)) {
            EXPECT_TRUE(many == serial) << "a serial stream changed";
            continue;
        }

        // The first segment is the serial encode itself; after it the joined stream differs in
        // coded data only, and every frame's main data lies where its main_data_begin says.
        const std::size_t inlineBytes = serialFrames.Frames()[plan->EncoderStart(1)].offset;
        EXPECT_TRUE(std::equal(serial.begin(), serial.begin() + static_cast<std::ptrdiff_t>(inlineBytes),
                               many.begin()));
        EXPECT_FALSE(many == serial) << "the stream was not segmented";
        Layer3FrameIndex joined;
        ASSERT_TRUE(joined.Update(many)) << "a frame's main data does not lie where it says";
        ASSERT_EQ(joined.Frames().size(), serialFrames.Frames().size());
        ASSERT_EQ(many.size(), serial.size());
        for (std::size_t i = 0; i < joined.Frames().size(); ++i)
            ASSERT_EQ(joined.Frames()[i].header, serialFrames.Frames()[i].header) << "frame " << i;

        if (output->sampleRate == test.source.nSamplesPerSec && output->channels == test.source.nChannels) {
            const int channels = output->channels;
            const Coding coding =
                CompareCoding(SourceSamples(pcm, test.source), Decode(serial, output->sampleRate, channels),
                              Decode(many, output->sampleRate, channels), channels);
            EXPECT_LT(coding.wholeDb, 0.3);
            EXPECT_LT(coding.worstFrameDb, 6.0);
            std::printf("  coding error against the serial encode: worst frame %+.2f dB, whole %+.3f dB\n",
                        coding.worstFrameDb, coding.wholeDb);
        }
    }
}

TEST(Segmented, StoppingInTheMiddleEndsThePoolTasks)
{
    WorkerPool pool;
    pool.SetThreadLimit(2);
    LameDriver driver(pool);
    const WAVEFORMATEX source = test::PcmRecord(2, 44100, 16);
    const OfferedFormat format = Format(driver, source, "128 kBit/s, 44100 Hz, Stereo");
    const std::vector<unsigned char> pcm = MusicPcm(source, 60);
    for (const std::size_t stopAfter : {std::size_t{0}, pcm.size() / 3, pcm.size()}) {
        std::unique_ptr<CodecStream> stream;
        ASSERT_EQ(driver.OpenStream(source, format.format.data(), format.format.size(), stream),
                  mmresult::kNoError);
        std::uint32_t outputSize = 0;
        ASSERT_EQ(stream->OutputSize(2048, outputSize), mmresult::kNoError);
        std::vector<unsigned char> block(2048), destination(outputSize);
        for (std::size_t at = 0; at + block.size() <= stopAfter; at += block.size()) {
            std::memcpy(block.data(), pcm.data() + at, block.size());
            ACMSTREAMHEADER header{};
            header.pbSrc = block.data();
            header.cbSrcLength = static_cast<std::uint32_t>(block.size());
            header.pbDst = destination.data();
            header.cbDstLength = outputSize;
            ASSERT_EQ(stream->Convert(header, kConvertBlockAlign), mmresult::kNoError);
        }
        // Closed with segments queued and running: it returns, and nothing of it runs on.
        stream.reset();
    }
}

} // namespace
} // namespace cantrix
