#include "support/worker_protocol.h"

#include "platform/codec_driver.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace cantrix::test {

namespace {
constexpr std::uint32_t kBlockBytes = kCallerBlockBytes;
constexpr unsigned char kGuardByte = 0xA5;
constexpr std::size_t kGuardBytes = 64;
constexpr int kMaxPasses = 10000000;
} // namespace

WorkerRun EncodeLikeWorker(CodecStream& stream, const std::vector<unsigned char>& pcm)
{
    WorkerRun run;
    std::uint32_t outputSize = 0;
    EXPECT_EQ(stream.OutputSize(kBlockBytes, outputSize), mmresult::kNoError);
    std::vector<unsigned char> source(kBlockBytes);
    std::vector<unsigned char> destination(outputSize + kGuardBytes, kGuardByte);
    ACMSTREAMHEADER header{};
    header.pbSrc = source.data();
    header.pbDst = destination.data();
    header.cbDstLength = outputSize;

    std::size_t read = std::min<std::size_t>(kBlockBytes, pcm.size());
    std::copy_n(pcm.begin(), read, source.begin());
    header.cbSrcLength = static_cast<std::uint32_t>(read);
    std::size_t lastCount = read;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        const std::uint32_t flags = lastCount != 0 ? kConvertBlockAlign : kConvertEnd;
        if (flags == kConvertEnd)
            ++run.endPasses;
        if (stream.Convert(header, flags) != mmresult::kNoError) {
            ADD_FAILURE() << "pass " << pass << " failed";
            return run;
        }
        EXPECT_LE(header.cbDstLengthUsed, header.cbDstLength);
        if (std::any_of(destination.begin() + outputSize, destination.end(),
                        [](unsigned char byte) { return byte != kGuardByte; })) {
            ADD_FAILURE() << "output written beyond the buffer";
            return run;
        }
        if (lastCount == 0 && header.cbDstLengthUsed == 0)
            return run;
        run.output.insert(run.output.end(), destination.begin(),
                          destination.begin() + header.cbDstLengthUsed);
        const std::uint32_t leftover = header.cbSrcLength - header.cbSrcLengthUsed;
        std::memmove(source.data(), source.data() + header.cbSrcLengthUsed, leftover);
        lastCount = std::min<std::size_t>(header.cbSrcLengthUsed, pcm.size() - read);
        std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(read), lastCount, source.begin() + leftover);
        read += lastCount;
        header.cbSrcLength = leftover + static_cast<std::uint32_t>(lastCount);
    }
    ADD_FAILURE() << "END never stopped producing output";
    return run;
}

} // namespace cantrix::test
