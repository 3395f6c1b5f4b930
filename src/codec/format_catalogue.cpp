// The catalogue of Layer-3 formats that fit the current input, and the three quality presets.
#include "engine/converter_engine.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace cantrix {

namespace {
// The enumeration's format buffer is at least this large, and never smaller than the size the
// codec manager is told it is.
constexpr std::uint32_t kMinFormatBufferBytes = 1024;
constexpr std::uint32_t kModemBytesPerSec = 3000; // 24 kbit/s
constexpr std::uint32_t kIsdnBytesPerSec = 14000; // 112 kbit/s
constexpr const char* kNoFormatName = "-";
} // namespace

void ConverterEngine::RebuildFormatCatalogue()
{
    formats.clear();
    formats.shrink_to_fit();

    std::uint32_t maxFormatSize = 0;
    codecs.Metrics(kMetricMaxSizeFormat, maxFormatSize);
    // Aligned storage, since the manager writes WAVEFORMATEX records into it.
    std::vector<std::uint64_t> buffer((std::max(maxFormatSize, kMinFormatBufferBytes) + 7) / 8, 0);
    std::memcpy(buffer.data(), &inputFormat, sizeof inputFormat);

    ACMFORMATDETAILS details;
    details.cbStruct = sizeof details;
    details.dwFormatTag = kWaveFormatMpegLayer3;
    details.cbwfx = maxFormatSize;
    details.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());

    lastResult = codecs.FormatEnum(
        nullptr, details,
        [this](HACMDRIVERID, ACMFORMATDETAILS& reported, std::uint32_t) {
            if (reported.dwFormatTag != kWaveFormatMpegLayer3)
                return true;
            FormatEntry entry;
            // The buffer is at least 1024 bytes, so 32 bytes can always be read from it.
            std::memcpy(entry.format.data(), reported.pwfx, entry.format.size());
            std::memcpy(entry.name, reported.szFormat, sizeof entry.name);
            entry.name[sizeof entry.name - 1] = '\0';
            const bool known = std::any_of(formats.begin(), formats.end(), [&](const FormatEntry& f) {
                return std::strcmp(f.name, entry.name) == 0;
            });
            if (!known)
                formats.push_back(entry);
            return true;
        },
        kFormatEnumConvert);
}

std::string ConverterEngine::GetFormatName(unsigned index) const
{
    if (index >= formats.size())
        return kNoFormatName;
    return formats[index].name;
}

int ConverterEngine::FindLowestBitrateFormat() const
{
    int choice = 0;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (formats[i].AvgBytesPerSec() < formats[choice].AvgBytesPerSec())
            choice = static_cast<int>(i);
    }
    return choice;
}

int ConverterEngine::FindModemFormat() const
{
    int choice = FindLowestBitrateFormat();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const FormatEntry& entry = formats[i];
        if (entry.AvgBytesPerSec() <= kModemBytesPerSec &&
            entry.AvgBytesPerSec() > formats[choice].AvgBytesPerSec())
            choice = static_cast<int>(i);
        if (entry.AvgBytesPerSec() == formats[choice].AvgBytesPerSec() &&
            entry.Channels() > formats[choice].Channels())
            choice = static_cast<int>(i);
    }
    return choice;
}

int ConverterEngine::FindIsdnFormat() const
{
    int choice = FindLowestBitrateFormat();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (formats[i].AvgBytesPerSec() <= kIsdnBytesPerSec &&
            formats[i].AvgBytesPerSec() > formats[choice].AvgBytesPerSec())
            choice = static_cast<int>(i);
    }
    return choice;
}

} // namespace cantrix
