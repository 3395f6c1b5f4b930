#include "codec/format_catalogue.h"

#include <algorithm>
#include <cstring>

namespace cantrix {

namespace {
// The enumeration's format buffer is at least this large, and never smaller than the size the
// codec manager is told it is.
constexpr std::uint32_t kMinFormatBufferBytes = 1024;
constexpr std::uint32_t kModemBytesPerSec = 3000; // 24 kbit/s
constexpr std::uint32_t kIsdnBytesPerSec = 14000; // 112 kbit/s
constexpr const char* kNoFormatName = "-";
} // namespace

FormatCatalogue FormatCatalogue::Build(CodecManager& codecs, const WAVEFORMATEX& input)
{
    FormatCatalogue catalogue;
    std::uint32_t maxFormatSize = 0;
    // Without an answer the size stays 0 and the buffer's own size is enough.
    (void)codecs.Metrics(kMetricMaxSizeFormat, maxFormatSize);
    // Aligned storage, since the manager writes WAVEFORMATEX records into it.
    std::vector<std::uint64_t> buffer((std::max(maxFormatSize, kMinFormatBufferBytes) + 7) / 8, 0);
    std::memcpy(buffer.data(), &input, sizeof input);

    ACMFORMATDETAILS details;
    details.cbStruct = sizeof details;
    details.dwFormatTag = kWaveFormatMpegLayer3;
    details.cbwfx = maxFormatSize;
    details.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());

    std::vector<FormatEntry>& entries = catalogue.entries;
    // A failed enumeration leaves what it reported so far; an empty catalogue refuses every run.
    (void)codecs.FormatEnum(
        nullptr, details,
        [&entries](HACMDRIVERID, ACMFORMATDETAILS& reported, std::uint32_t) {
            if (reported.dwFormatTag != kWaveFormatMpegLayer3)
                return true;
            FormatEntry entry;
            // The buffer is at least 1024 bytes, so 32 bytes can always be read from it.
            std::memcpy(entry.format.data(), reported.pwfx, entry.format.size());
            std::memcpy(entry.name, reported.szFormat, sizeof entry.name);
            entry.name[sizeof entry.name - 1] = '\0';
            const bool known = std::any_of(entries.begin(), entries.end(), [&](const FormatEntry& f) {
                return std::strcmp(f.name, entry.name) == 0;
            });
            if (!known)
                entries.push_back(entry);
            return true;
        },
        kFormatEnumConvert);
    return catalogue;
}

std::string FormatCatalogue::Name(unsigned index) const
{
    if (index >= entries.size())
        return kNoFormatName;
    return entries[index].name;
}

int FormatCatalogue::FindLowestBitrate() const
{
    int choice = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].AvgBytesPerSec() < entries[choice].AvgBytesPerSec())
            choice = static_cast<int>(i);
    }
    return choice;
}

int FormatCatalogue::FindModem() const
{
    int choice = FindLowestBitrate();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FormatEntry& entry = entries[i];
        if (entry.AvgBytesPerSec() <= kModemBytesPerSec &&
            entry.AvgBytesPerSec() > entries[choice].AvgBytesPerSec())
            choice = static_cast<int>(i);
        if (entry.AvgBytesPerSec() == entries[choice].AvgBytesPerSec() &&
            entry.Channels() > entries[choice].Channels())
            choice = static_cast<int>(i);
    }
    return choice;
}

int FormatCatalogue::FindIsdn() const
{
    int choice = FindLowestBitrate();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].AvgBytesPerSec() <= kIsdnBytesPerSec &&
            entries[i].AvgBytesPerSec() > entries[choice].AvgBytesPerSec())
            choice = static_cast<int>(i);
    }
    return choice;
}

int FormatCatalogue::Find(Preset preset) const
{
    switch (preset) {
    case Preset::Lowest:
        return FindLowestBitrate();
    case Preset::Modem:
        return FindModem();
    case Preset::Isdn:
        return FindIsdn();
    }
    return FindLowestBitrate();
}

} // namespace cantrix
