#include "audio/wave_form.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

namespace cantrix {

namespace {
// "ds64": the form's size, the data's size and the sample count (64 bits each), then a table of
// further sizes (its length, then entries of an id and a 64-bit size).
constexpr std::size_t kDs64FixedBytes = 28;
constexpr std::size_t kDs64EntryBytes = 12;
// Writers put the form's and the data's sizes in the fixed fields; the table is for other chunks
// over 4 GiB, of which a wave form has no more than a few.
constexpr std::size_t kDs64MaxEntries = 8;

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
} // namespace

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

} // namespace cantrix
