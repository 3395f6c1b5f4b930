#include "audio/input_analysis.h"

#include "audio/plain_pcm_format.h"
#include "audio/wave_form.h"
#include "platform/string_table.h"

#include <algorithm>
#include <array>

namespace cantrix {

namespace {
// What writers that cannot seek back put into a size: ffmpeg's and sox's, and in Wave64 sizes that
// no file reaches (ffmpeg writes all ones).
constexpr std::array<std::uint64_t, 2> kPlaceholderSizes{0xFFFFFFFF, 0x7FFFF000};
constexpr std::uint64_t kUnreachableSize = std::uint64_t{1} << 62;
// Layer-3 carries one or two channels.
constexpr std::uint16_t kLayer3MaxChannels = 2;

InputAnalysis Refused(std::uint32_t message)
{
    return InputAnalysis{std::nullopt, message};
}

// The data's size where the header states none: a placeholder, or 0 where the form's size does
// not reach past the data's header either (the sizes were never written), with bytes behind it.
bool LengthUnknown(const WaveForm& form, const WideChunk& data, std::uint64_t held)
{
    if (std::find(kPlaceholderSizes.begin(), kPlaceholderSizes.end(), data.cksize) !=
            kPlaceholderSizes.end() ||
        data.cksize >= kUnreachableSize)
        return held != data.cksize;
    // The data lies inside the form, so the distance between them cannot wrap.
    const bool formEndsAtData =
        form.unfinished || data.dwDataOffset - form.chunk.dwDataOffset >= form.chunk.cksize;
    return data.cksize == 0 && formEndsAtData && held > 0;
}

std::uint32_t ChannelsMessage(std::uint16_t channels)
{
    const std::uint32_t index = channels - strings::kInputChannelsFirstCount;
    return std::min(strings::kInputChannelsFirst + index, strings::kInputChannelsMany);
}
} // namespace

InputAnalysis AnalyzeWave(RiffFile& file)
{
    WaveForm form;
    if (!FindWaveForm(file, form))
        return Refused(strings::kInputCorrupted);
    WideChunk format{};
    format.ckid = kFourCCFmt;
    if (file.DescendWide(format, &form.chunk, DescendFlag::FindChunk, form.layout, form.sizes) !=
        mmresult::kNoError)
        return Refused(strings::kInputCorrupted);

    // Only the start of the chunk counts, whatever its size; a short chunk leaves zeros.
    InputDescription input;
    unsigned char record[kFormatBytesToRead];
    const long wanted = static_cast<long>(std::min<std::uint64_t>(sizeof record, format.cksize));
    const long got = std::max(file.Read(record, wanted), 0L);
    if (!DescribePlainPcm(record, static_cast<std::size_t>(got), format.cksize, input.format))
        return Refused(strings::kInputNotPcm);
    if (input.format.nChannels > kLayer3MaxChannels)
        return Refused(ChannelsMessage(input.format.nChannels));

    if (file.AscendWide(format, form.layout) != mmresult::kNoError)
        return Refused(strings::kInputCorrupted);
    WideChunk data{};
    data.ckid = kFourCCData;
    if (file.DescendWide(data, &form.chunk, DescendFlag::FindChunk, form.layout, form.sizes) !=
        mmresult::kNoError)
        return Refused(strings::kInputCorrupted);

    const long end = file.Seek(0, SEEK_END);
    const auto start = static_cast<long>(data.dwDataOffset);
    if (end < 0 || file.Seek(start, SEEK_SET) != start)
        return Refused(strings::kInputCorrupted);
    const auto held = static_cast<std::uint64_t>(end - start);
    input.dataOffset = data.dwDataOffset;
    input.lengthUnknown = LengthUnknown(form, data, held);
    input.dataSize = input.lengthUnknown ? held : data.cksize;
    input.heldBytes = std::min(input.dataSize, held);
    // Not one sample frame: nothing to convert, and an output would be a stream without audio.
    if (input.heldBytes < std::max<std::uint64_t>(input.format.nBlockAlign, 1))
        return Refused(strings::kInputHoldsNoAudio);
    return InputAnalysis{input, 0};
}

} // namespace cantrix
