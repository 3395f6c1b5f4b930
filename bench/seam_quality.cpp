// The coding error of segmented streams against serial encodes of the same input, over every
// format the driver offers, judged against the spread of ±1 LSB dithered serial encodes (see
// tests/support/seam_quality.h), and reported per MPEG version and bit-rate band. A fourth dithered
// serial encode, judged the same way, shows how often the judgement fails a stream that differs
// only by the encoder's own variation. Also the cost of the frame grid check against the encode.
// Usage: seam_quality [SEAMS [MAX_KBPS]]   (seams per stream, default 4; only formats up to
// MAX_KBPS, each on a line of its own)
#include "support/seam_quality.h"

#include "drivers/frame_grid_check.h"
#include "drivers/layer3_frames.h"
#include "support/segmented_runs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace cantrix;

std::string Band(const LameOutputFormat& format)
{
    const char* version = layer3::IsMpeg1(format.sampleRate)              ? "MPEG-1  "
                          : format.sampleRate >= layer3::kLowestMpeg2Rate ? "MPEG-2  "
                                                                          : "MPEG-2.5";
    const char* band = format.kbps <= 32   ? "  8-32 kbit/s"
                       : format.kbps <= 96 ? " 40-96 kbit/s"
                                           : "  >=112 kbit/s";
    return std::string(version) + " " + band;
}

struct BandFigures {
    int formats = 0;
    int failing = 0;
    int controlFailing = 0;
    double worstMarginDb = -1e9;
    std::string worstMarginAt;
    double worstExcessDb = -1e9;
    double ditheredExcessDb = -1e9;
    double worstWholeDb = 0;
    std::uint64_t seams = 0, ranOn = 0, takenOver = 0;
};

// The encode of a 60-second stream against a frame grid check over its output.
void CheckCost()
{
    const LameOutputFormat output{44100, 2, 128};
    const WAVEFORMATEX source{kWaveFormatPcm, 2, 44100, 44100 * 4, 4, 16, 0};
    const std::vector<unsigned char> pcm = test::MusicLikePcm(44100, 2, 60);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<unsigned char> mp3 = test::EncodeSerially(source, output, pcm);
    const double encode = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Layer3Stream frames;
    frames.Bytes() = mp3;
    frames.Index();
    constexpr int kRounds = 50;
    const auto checkStart = std::chrono::steady_clock::now();
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        FrameGridCheck check(output);
        ok = ok && check.Accept(mp3.data(), mp3.size(), 0, frames.FrameEnd());
    }
    const double checked =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - checkStart).count() / kRounds;
    std::printf(
        "frame grid check: %.2f ms for %llu frames, encode %.0f ms: %.3f%% of the encode (goal < 1%%)%s\n",
        checked * 1e3, static_cast<unsigned long long>(frames.FrameEnd()), encode * 1e3,
        100 * checked / encode, ok ? "" : " (CHECK FAILED)");
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t seams = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4;
    const unsigned long maxKbps = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 0;
    std::vector<LameOutputFormat> formats;
    for (const LameOutputFormat& format : lame_outputs::All()) {
        if (maxKbps == 0 || format.kbps <= maxKbps)
            formats.push_back(format);
    }
    std::map<std::string, BandFigures> bands;
    std::mutex lock;
    std::size_t next = 0;
    auto work = [&] {
        for (;;) {
            LameOutputFormat output;
            {
                std::lock_guard guard(lock);
                if (next == formats.size())
                    return;
                output = formats[next++];
            }
            const WAVEFORMATEX source{kWaveFormatPcm,
                                      output.channels,
                                      output.sampleRate,
                                      output.sampleRate * output.channels * 2u,
                                      static_cast<std::uint16_t>(output.channels * 2),
                                      16,
                                      0};
            const SegmentPlan plan = *PlanSegments(source, output);
            const double seconds =
                static_cast<double>((plan.Boundary(seams) + plan.postRollFrames + 40) * plan.inputPerFrame) /
                output.sampleRate;
            const std::vector<unsigned char> pcm =
                test::MusicLikePcm(output.sampleRate, output.channels, seconds);
            const std::vector<unsigned char> serial = test::EncodeSerially(source, output, pcm);
            const test::SegmentedRun run = test::EncodeInSegments(source, output, pcm, 1);
            const test::SeamJudge judge(source, output, pcm, serial);
            const test::SeamJudgement judged = judge.Judge(run.bytes);
            const bool controlPasses = judge.Judge(judge.DitheredEncode(4)).Passes();
            std::lock_guard guard(lock);
            if (maxKbps != 0)
                std::printf("%-30s worst frame %+6.2f dB at %4zu, dithered %+6.2f dB, margin %+6.2f dB, "
                            "whole %+.3f dB\n",
                            LameFormatTable::Description(output).c_str(), judged.worstExcessDb,
                            judged.worstFrame, judged.ditheredExcessDb, judged.MarginDb(), judged.wholeDb);
            BandFigures& band = bands[Band(output)];
            ++band.formats;
            band.failing += run.ok && judged.Passes() ? 0 : 1;
            band.controlFailing += controlPasses ? 0 : 1;
            if (judged.MarginDb() > band.worstMarginDb) {
                band.worstMarginDb = judged.MarginDb();
                band.worstMarginAt =
                    LameFormatTable::Description(output) + ", frame " + std::to_string(judged.worstFrame);
            }
            band.worstExcessDb = std::max(band.worstExcessDb, judged.worstExcessDb);
            band.ditheredExcessDb = std::max(band.ditheredExcessDb, judged.ditheredExcessDb);
            if (std::abs(judged.wholeDb) > std::abs(band.worstWholeDb))
                band.worstWholeDb = judged.wholeDb;
            band.seams += run.joins.seams;
            band.ranOn += run.joins.ranOnFrames;
            band.takenOver += run.joins.takenOver;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();

    std::printf("%-23s %7s %7s %7s %11s %11s %11s %9s %6s %7s  %s\n", "band", "formats", "failing", "control",
                "worst frame", "dithered", "margin", "whole", "seams", "ran on", "worst margin at");
    for (const auto& [name, band] : bands)
        std::printf("%-23s %7d %7d %7d %+8.2f dB %+8.2f dB %+8.2f dB %+6.3f dB %6llu %7llu  %s\n",
                    name.c_str(), band.formats, band.failing, band.controlFailing, band.worstExcessDb,
                    band.ditheredExcessDb, band.worstMarginDb, band.worstWholeDb,
                    static_cast<unsigned long long>(band.seams), static_cast<unsigned long long>(band.ranOn),
                    band.worstMarginAt.c_str());
    CheckCost();
    return 0;
}
