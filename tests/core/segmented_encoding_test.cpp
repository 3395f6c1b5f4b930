// Long streams of the Layer-3 driver, encoded in segments on a worker pool, over every format the
// driver offers: the same bytes at every thread count, the frames and headers of one serial encode,
// main data only where it exists, a guard that never lets a damaged seam out, and a stop in the
// middle.
#include "drivers/lame_driver.h"
#include "drivers/lame_pcm_encoder.h"
#include "drivers/layer3_frames.h"
#include "drivers/segment_plan.h"
#include "drivers/segmented_encoder.h"
#include "platform/codec_driver.h"
#include "support/seam_quality.h"
#include "support/segmented_runs.h"
#include "support/wav_builder.h"
#include "support/worker_protocol.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace cantrix {
namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSampleTheCatalogue = true; // sanitizers slow every encode down many times
#else
constexpr bool kSampleTheCatalogue = false;
#endif

// Noise whose level wanders, a steady tone, and short bursts one frame before, at and one frame
// after each of the first two segment boundaries, so that every seam meets transients.
std::vector<unsigned char> SignalAcrossSeams(const WAVEFORMATEX& format, const SegmentPlan& plan,
                                             std::uint64_t samples)
{
    std::vector<std::uint64_t> bursts;
    for (std::uint64_t index = 1; index <= 2; ++index) {
        for (const std::uint64_t frame :
             {plan.Boundary(index) - 1, plan.Boundary(index), plan.Boundary(index) + 1})
            bursts.push_back(frame * plan.inputPerFrame + plan.inputPerFrame / 3);
    }
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<unsigned char> pcm;
    const double rate = format.nSamplesPerSec;
    for (std::uint64_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / rate;
        double value = 0.25 * std::sin(2 * M_PI * 330 * t) + 0.3 * (0.6 + 0.4 * std::sin(t)) * unit(random);
        for (const std::uint64_t burst : bursts) {
            if (i >= burst && i < burst + plan.inputPerFrame / 8)
                value += 0.9 * unit(random);
        }
        for (int channel = 0; channel < format.nChannels; ++channel)
            test::AppendSample(pcm, format.wBitsPerSample,
                               std::clamp(value * (channel == 0 ? 1.0 : 0.7), -1.0, 1.0));
    }
    return pcm;
}

struct Case {
    WAVEFORMATEX source;
    LameOutputFormat output;
};

// Every offered format from input at its own rate and channels; each version's formats once more
// from stereo input mixed down to mono, and a few resampled inputs of every sample width.
std::vector<Case> Catalogue()
{
    std::vector<Case> cases;
    std::uint32_t lastRate = 0;
    int lastChannels = 0;
    for (const LameOutputFormat& output : lame_outputs::All()) {
        const bool firstOfItsKind = output.sampleRate != lastRate || output.channels != lastChannels;
        lastRate = output.sampleRate;
        lastChannels = output.channels;
        if (kSampleTheCatalogue &&
            (!firstOfItsKind ||
             (output.sampleRate != 8000 && output.sampleRate != 22050 && output.sampleRate != 44100)))
            continue;
        cases.push_back({test::PcmRecord(output.channels, output.sampleRate, 16), output});
        if (output.channels == 1 && output.kbps == 32)
            cases.push_back({test::PcmRecord(2, output.sampleRate, 16), output});
    }
    if (!kSampleTheCatalogue) {
        cases.push_back({test::PcmRecord(2, 48000, 24), {24000, 2, 8}});
        cases.push_back({test::PcmRecord(2, 44100, 8), {22050, 2, 64}});
        cases.push_back({test::PcmRecord(2, 96000, 32), {24000, 1, 32}});
        // Segments of 196 and 98 frames: longer ones would hold more PCM than a segment may.
        cases.push_back({test::PcmRecord(2, 192000, 32), {48000, 2, 320}});
        cases.push_back({test::PcmRecord(2, 192000, 24), {12000, 2, 8}});
    }
    return cases;
}

// A joined stream has the frames of the serial encode: as many, each with its header, main data
// only where it exists, and nothing after the last.
void ExpectTheSerialFrames(const std::vector<unsigned char>& serial,
                           const std::vector<unsigned char>& joinedBytes)
{
    Layer3Stream expected, joined;
    expected.Bytes() = serial;
    joined.Bytes() = joinedBytes;
    ASSERT_TRUE(expected.Index());
    ASSERT_TRUE(joined.Index()) << "a frame's main data does not lie where it says";
    ASSERT_EQ(joined.FrameEnd(), expected.FrameEnd());
    ASSERT_EQ(joined.ByteEnd(), joined.FrameOffset(joined.FrameEnd())) << "bytes after the last frame";
    for (std::uint64_t frame = 0; frame < joined.FrameEnd(); ++frame)
        ASSERT_EQ(joined.Frame(frame).header, expected.Frame(frame).header) << "frame " << frame;
}

// One case: the stream at 1 thread and at `threads` against a serial encode of the same input.
void CheckCase(const Case& test, unsigned threads, SegmentedEncoder::JoinCounts& total)
{
    SCOPED_TRACE(LameFormatTable::Description(test.output) + " from " +
                 std::to_string(test.source.nSamplesPerSec) + " Hz, " +
                 std::to_string(test.source.nChannels) + " channels, " +
                 std::to_string(test.source.wBitsPerSample) + " bits");
    const SegmentPlan plan = *PlanSegments(test.source, test.output);
    // Two seams: the second segment is full, the third the last.
    const std::uint64_t frames = plan.EncoderEnd(1) + 40;
    const std::vector<unsigned char> pcm = SignalAcrossSeams(test.source, plan, frames * plan.inputPerFrame);

    const std::vector<unsigned char> serial = test::EncodeSerially(test.source, test.output, pcm);
    ASSERT_FALSE(serial.empty());
    const test::SegmentedRun one = test::EncodeInSegments(test.source, test.output, pcm, 1);
    ASSERT_TRUE(one.ok);
    // More threads through the driver, as a conversion calls it.
    WorkerPool pool;
    pool.SetThreadLimit(threads);
    LameDriver driver(pool);
    const MPEGLAYER3WAVEFORMAT record = LameFormatTable(0).Record(test.output);
    std::unique_ptr<CodecStream> stream;
    ASSERT_EQ(driver.OpenStream(test.source, reinterpret_cast<const unsigned char*>(&record), sizeof record,
                                stream),
              mmresult::kNoError);
    const test::WorkerRun more = test::EncodeLikeWorker(*stream, pcm);
    ASSERT_TRUE(one.bytes == more.output) << threads << " threads changed the bytes";
    EXPECT_LE(more.endPasses, kMaxEndPasses / 4);

    ExpectTheSerialFrames(serial, one.bytes);
    Layer3Stream expected;
    expected.Bytes() = serial;
    ASSERT_TRUE(expected.Index());
    // The first segment is the serial encode itself up to where the first seam may write.
    const std::uint64_t inlineBytes = expected.Frame(plan.SettledBefore(1)).offset;
    EXPECT_TRUE(std::equal(serial.begin(), serial.begin() + static_cast<std::ptrdiff_t>(inlineBytes),
                           one.bytes.begin()));
    EXPECT_EQ(one.joins.seams + one.joins.takenOver, 2u);
    EXPECT_GE(one.joins.seams, 1u) << "the stream was not segmented";
    total.seams += one.joins.seams;
    total.ranOnFrames += one.joins.ranOnFrames;
    total.takenOver += one.joins.takenOver;
}

TEST(Segmented, EveryOfferedFormatJoinsIntoTheFramesOfOneSerialEncode)
{
    // The cases are independent: two run at a time, each on its own pool, which has 2, 3, 4 or 16
    // threads in turn.
    const std::vector<Case> cases = Catalogue();
    constexpr unsigned kThreads[] = {2, 3, 4, 16};
    SegmentedEncoder::JoinCounts totals[2];
    std::vector<std::thread> runners;
    for (std::size_t runner = 0; runner < 2; ++runner) {
        runners.emplace_back([&, runner] {
            for (std::size_t i = runner; i < cases.size(); i += 2)
                CheckCase(cases[i], kThreads[i / 2 % 4], totals[runner]);
        });
    }
    for (std::thread& runner : runners)
        runner.join();
    std::printf("  %zu formats: %llu seams, %llu frames run on past a boundary, %llu segments taken over\n",
                cases.size(), static_cast<unsigned long long>(totals[0].seams + totals[1].seams),
                static_cast<unsigned long long>(totals[0].ranOnFrames + totals[1].ranOnFrames),
                static_cast<unsigned long long>(totals[0].takenOver + totals[1].takenOver));
}

TEST(Segmented, SeamsCodeWithinWhatDitheredSerialEncodesVary)
{
    if (kSampleTheCatalogue)
        GTEST_SKIP() << "a judgement of coding quality, not of memory or threads";
    // Each version at low, middle and high bit rates, mono and stereo.
    const LameOutputFormat formats[] = {{32000, 1, 32}, {44100, 2, 128}, {48000, 2, 320},
                                        {16000, 1, 40}, {22050, 2, 64},  {24000, 2, 160},
                                        {11025, 2, 32}, {8000, 1, 64},   {12000, 2, 48}};
    for (const LameOutputFormat& output : formats) {
        SCOPED_TRACE(LameFormatTable::Description(output));
        const WAVEFORMATEX source = test::PcmRecord(output.channels, output.sampleRate, 16);
        const SegmentPlan plan = *PlanSegments(source, output);
        const std::vector<unsigned char> pcm = test::MusicLikePcm(
            output.sampleRate, output.channels,
            static_cast<double>((plan.EncoderEnd(1) + 40) * plan.inputPerFrame) / output.sampleRate);
        const test::SegmentedRun run = test::EncodeInSegments(source, output, pcm, 2);
        ASSERT_TRUE(run.ok);
        ASSERT_GE(run.joins.seams, 1u);
        const test::SeamJudgement judged =
            test::SeamJudge(source, output, pcm, test::EncodeSerially(source, output, pcm)).Judge(run.bytes);
        EXPECT_TRUE(judged.Passes()) << "worst frame " << judged.worstFrame << " " << judged.worstExcessDb
                                     << " dB over the serial encode, dithered encodes "
                                     << judged.ditheredExcessDb << " dB; whole " << judged.wholeDb << " dB";
    }
}

TEST(Segmented, StreamsEndingAroundEveryPlannedPositionKeepTheSerialFrames)
{
    // The format whose output lags most, and a common one: the input ends one frame either side
    // of every position the plan knows, so that the last segment is any length from none to whole.
    const Case cases[] = {{test::PcmRecord(2, 24000, 16), {24000, 2, 8}},
                          {test::PcmRecord(2, 44100, 16), {44100, 2, 128}}};
    for (const Case& test : cases) {
        const SegmentPlan plan = *PlanSegments(test.source, test.output);
        for (const std::uint64_t position :
             {plan.SettledBefore(1), plan.EncoderStart(1), plan.FlushFrame(1), plan.Boundary(1),
              plan.EncoderEnd(0), plan.EncoderStart(2), plan.Boundary(2), plan.EncoderEnd(1)}) {
            for (const std::uint64_t frames : {position - 1, position + 1}) {
                SCOPED_TRACE(LameFormatTable::Description(test.output) + ", input of " +
                             std::to_string(frames) + " frames");
                const std::vector<unsigned char> pcm =
                    SignalAcrossSeams(test.source, plan, frames * plan.inputPerFrame);
                const test::SegmentedRun run = test::EncodeInSegments(test.source, test.output, pcm, 2);
                ASSERT_TRUE(run.ok);
                ExpectTheSerialFrames(test::EncodeSerially(test.source, test.output, pcm), run.bytes);
            }
        }
    }
}

TEST(Segmented, StreamsThatStaySerialAreTheSerialEncode)
{
    // 50 kHz is no whole multiple of 48 kHz; the others end within the first segment: within the
    // calling thread's part, in the part the pool finishes, and on the first segment's last frame.
    const WAVEFORMATEX cd = test::PcmRecord(2, 44100, 16);
    const SegmentPlan plan = *PlanSegments(cd, {44100, 2, 128});
    const struct {
        Case test;
        std::uint64_t frames;
    } cases[] = {{{test::PcmRecord(2, 50000, 16), {48000, 2, 128}}, 14 * 50000},
                 {{cd, {44100, 2, 128}}, plan.InlineInput() - 1},
                 {{cd, {44100, 2, 128}}, 9 * 44100 + 12345},
                 {{cd, {44100, 2, 128}}, plan.EncoderEnd(0) * plan.inputPerFrame}};
    for (const auto& [test, frames] : cases) {
        SCOPED_TRACE(std::to_string(frames) + " sample frames");
        const std::vector<unsigned char> pcm = SignalAcrossSeams(test.source, plan, frames);
        const test::SegmentedRun segmented = test::EncodeInSegments(test.source, test.output, pcm, 4);
        EXPECT_TRUE(segmented.ok);
        EXPECT_EQ(segmented.joins.seams + segmented.joins.takenOver, 0u);
        EXPECT_TRUE(segmented.bytes == test::EncodeSerially(test.source, test.output, pcm));
    }
}

TEST(Segmented, TheFirstSecondsComeOutCallByCallAsFromOneSerialEncoder)
{
    // What the preview converts, five seconds in whole caller blocks without an end, gives after
    // every call what an encoder that never segments gives: the block that lasts longest (8-bit mono
    // at 8 kHz), the common one, and the widest, whose first segment holds the most PCM.
    const Case cases[] = {{test::PcmRecord(1, 8000, 8), {8000, 1, 8}},
                          {test::PcmRecord(2, 44100, 16), {44100, 2, 128}},
                          {test::PcmRecord(2, 192000, 32), {48000, 2, 320}}};
    for (const Case& test : cases) {
        SCOPED_TRACE(LameFormatTable::Description(test.output));
        const SegmentPlan plan = *PlanSegments(test.source, test.output);
        const std::vector<unsigned char> pcm =
            SignalAcrossSeams(test.source, plan, plan.EncoderEnd(1) * plan.inputPerFrame);
        WorkerPool pool;
        pool.SetThreadLimit(2);
        auto open = [&](std::optional<SegmentPlan> how) {
            std::unique_ptr<LamePcmEncoder> first;
            EXPECT_EQ(LamePcmEncoder::Open(test.source, test.output, first), mmresult::kNoError);
            return std::make_unique<SegmentedEncoder>(test.source, test.output, std::move(first), how, pool);
        };
        const auto planned = open(plan), serial = open(std::nullopt);
        std::vector<unsigned char> fromPlanned(1 << 16), fromSerial(1 << 16);
        const std::size_t blocks =
            (5 * test.source.nAvgBytesPerSec + kCallerBlockBytes - 1) / kCallerBlockBytes;
        std::size_t given = 0;
        for (std::size_t block = 0; block < blocks; ++block) {
            const unsigned char* const bytes = pcm.data() + block * kCallerBlockBytes;
            const std::uint32_t frames = kCallerBlockBytes / test.source.nBlockAlign;
            std::uint32_t producedPlanned = 0, producedSerial = 0;
            ASSERT_TRUE(planned->Take(bytes, frames) && serial->Take(bytes, frames));
            ASSERT_TRUE(planned->Give(fromPlanned.data(), 1 << 16, false, producedPlanned));
            ASSERT_TRUE(serial->Give(fromSerial.data(), 1 << 16, false, producedSerial));
            ASSERT_EQ(producedPlanned, producedSerial) << "block " << block;
            ASSERT_TRUE(
                std::equal(fromSerial.begin(), fromSerial.begin() + producedSerial, fromPlanned.begin()));
            given += producedSerial;
        }
        EXPECT_GT(given, 0u);
    }
}

TEST(Segmented, DamagedFramesNeverLeave)
{
    const WAVEFORMATEX source = test::PcmRecord(2, 22050, 16);
    const LameOutputFormat output{22050, 2, 8};
    const SegmentPlan plan = *PlanSegments(source, output);
    const std::vector<unsigned char> pcm =
        SignalAcrossSeams(source, plan, (plan.EncoderEnd(1) + 40) * plan.inputPerFrame);
    const std::vector<unsigned char> serial = test::EncodeSerially(source, output, pcm);

    // Every seam damaged: none is used, the first segment runs on through the stream, and what
    // comes out is the serial encode.
    const test::SegmentedRun noSeams =
        test::EncodeInSegments(source, output, pcm, 2, [](auto batch, auto& bytes) {
            if (batch == SegmentedEncoder::Batch::Seam)
                bytes[2] ^= 0x02; // the padding bit
        });
    EXPECT_TRUE(noSeams.ok);
    EXPECT_EQ(noSeams.joins.seams, 0u);
    EXPECT_TRUE(noSeams.bytes == serial);

    // Damage after the first seam, where no other choice is left (main data that runs past its
    // slot, a frame left out, a header changed): the stream fails, and what was given before is
    // whole frames.
    const std::function<void(std::vector<unsigned char>&)> damages[] = {
        [](std::vector<unsigned char>& bytes) { bytes[5] = bytes[6] = 0xFF; }, // part2_3_length 4095
        [](std::vector<unsigned char>& bytes) {
            Layer3Frame first;
            ASSERT_EQ(ReadLayer3Frame(bytes.data(), bytes.size(), first), FrameRead::Complete);
            bytes.erase(bytes.begin(), bytes.begin() + first.length);
        },
        [](std::vector<unsigned char>& bytes) { bytes[2] ^= 0x02; },
    };
    for (const auto& damage : damages) {
        bool seamSeen = false, damagedOnce = false;
        const test::SegmentedRun damaged =
            test::EncodeInSegments(source, output, pcm, 2, [&](auto batch, auto& bytes) {
                seamSeen = seamSeen || batch == SegmentedEncoder::Batch::Seam;
                if (seamSeen && batch != SegmentedEncoder::Batch::Seam && !bytes.empty() && !damagedOnce) {
                    damage(bytes);
                    damagedOnce = true;
                }
            });
        EXPECT_TRUE(damagedOnce);
        EXPECT_FALSE(damaged.ok);
        EXPECT_GT(damaged.bytes.size(), 0u);
        EXPECT_LT(damaged.bytes.size(), serial.size());
        Layer3Stream given;
        given.Bytes() = damaged.bytes;
        EXPECT_TRUE(given.Index());
        EXPECT_EQ(given.ByteEnd(), given.FrameOffset(given.FrameEnd()));
    }
}

TEST(Segmented, StoppingInTheMiddleEndsThePoolTasks)
{
    WorkerPool pool;
    pool.SetThreadLimit(2);
    LameDriver driver(pool);
    const WAVEFORMATEX source = test::PcmRecord(2, 44100, 16);
    const MPEGLAYER3WAVEFORMAT record = LameFormatTable(0).Record({44100, 2, 128});
    const std::vector<unsigned char> pcm = test::SineSamples16(44100, 2, 60);
    for (const std::size_t stopAfter : {std::size_t{0}, pcm.size() / 3, pcm.size()}) {
        std::unique_ptr<CodecStream> stream;
        ASSERT_EQ(
            driver.OpenStream(source, reinterpret_cast<const unsigned char*>(&record), sizeof record, stream),
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
