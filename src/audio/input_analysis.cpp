#include "audio/input_analysis.h"

#include "audio/plain_pcm_format.h"
#include "platform/string_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace cantrix {

namespace {
// What writers that cannot seek back put into a size: ffmpeg's and sox's, and in Wave64 sizes that
// no file reaches (ffmpeg writes all ones).
constexpr std::array<std::uint64_t, 2> kPlaceholderSizes{0xFFFFFFFF, 0x7FFFF000};
constexpr std::uint64_t kUnreachableSize = std::uint64_t{1} << 62;
// Layer-3 carries one or two channels.
constexpr std::uint16_t kLayer3MaxChannels = 2;

// "ds64": the form's size, the data's size and the sample count (64 bits each), then a table of
// further sizes (its length, then entries of an id and a 64-bit size).
constexpr std::size_t kDs64FixedBytes = 28;
constexpr std::size_t kDs64EntryBytes = 12;
// Writers put the form's and the data's sizes in the fixed fields; the table is for other chunks
// over 4 GiB, of which a wave form has no more than a few.
constexpr std::size_t kDs64MaxEntries = 8;

struct WaveForm {
    WideChunk chunk;
    ChunkLayout layout = ChunkLayout::Riff;
    std::vector<WideSize> sizes;
    // Its size was never written; it runs to the end of the file.
    bool unfinished = false;
};

InputAnalysis Refused(std::uint32_t message)
{
    return InputAnalysis{std::nullopt, message};
}

// The fields are little-endian, as the host is (wave_format.h checks it).
template <typename Field> Field Load(const unsigned char* bytes)
{
    Field value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Reads the "ds64" chunk that opens an RF64 or BW64 form into its size table, and leaves the file
// after it.
bool ReadSizeTable(RiffFile& file, WaveForm& form)
{
    WideChunk ds64{};
    ds64.ckid = kFourCCDs64;
    if (file.DescendWide(ds64, &form.chunk, DescendFlag::FindChunk, form.layout) != mmresult::kNoError)
        return false;
    std::array<unsigned char, kDs64FixedBytes + kDs64MaxEntries * kDs64EntryBytes> bytes{};
    const long wanted = static_cast<long>(std::min<std::uint64_t>(bytes.size(), ds64.cksize));
    const long got = file.Read(bytes.data(), wanted);
    if (got < static_cast<long>(kDs64FixedBytes) || file.AscendWide(ds64, form.layout) != mmresult::kNoError)
        return false;
    form.sizes = {{kFourCCData, Load<std::uint64_t>(bytes.data() + 8)}};
    const auto entries = Load<std::uint32_t>(bytes.data() + 24);
    for (std::size_t i = 0;
         i < entries && kDs64FixedBytes + (i + 1) * kDs64EntryBytes <= static_cast<std::size_t>(got); ++i) {
        const unsigned char* entry = bytes.data() + kDs64FixedBytes + i * kDs64EntryBytes;
        form.sizes.push_back({Load<FourCC>(entry), Load<std::uint64_t>(entry + 4)});
    }
    if (form.chunk.cksize == 0xFFFFFFFF)
        form.chunk.cksize = Load<std::uint64_t>(bytes.data());
    return true;
}

// Finds the wave form at the start of the file, in whichever layout it comes, and leaves the file
// on its first chunk.
bool FindWaveForm(RiffFile& file, WaveForm& form)
{
    form.chunk.fccType = kFourCCWave;
    if (file.DescendWide(form.chunk, nullptr, DescendFlag::FindRiff, ChunkLayout::Riff) !=
        mmresult::kNoError) {
        form.layout = ChunkLayout::Wave64;
        if (file.Seek(0, SEEK_SET) != 0 ||
            file.DescendWide(form.chunk, nullptr, DescendFlag::FindRiff, form.layout) != mmresult::kNoError)
            return false;
    }
    if ((form.chunk.ckid == kFourCCRf64 || form.chunk.ckid == kFourCCBw64) && !ReadSizeTable(file, form))
        return false;
    // A recorder that stops before it writes its sizes leaves 0, too little even for the form
    // type: such a form runs to the end of the file.
    const std::uint64_t formTypeBytes = form.layout == ChunkLayout::Wave64 ? 16 : 4;
    if (form.chunk.cksize < formTypeBytes) {
        form.unfinished = true;
        form.chunk.cksize = std::numeric_limits<std::uint64_t>::max();
    }
    return true;
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
