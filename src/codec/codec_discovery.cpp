// Codec discovery: finding the Layer-3 codec among the installed drivers and naming its edition.
#include "engine/converter_engine.h"

#include <array>

namespace cantrix {

namespace {
constexpr std::uint16_t kCodecManufacturerId = 172;
constexpr std::uint16_t kFirstCodecProductId = 10;
constexpr std::uint16_t kLastCodecProductId = 14;
constexpr std::array<const char*, 4> kEditionNames = {"Pebble", "Meadow", "Ridge", "Summit"};
} // namespace

bool ConverterEngine::FindCodecDriver()
{
    driverId = nullptr;
    lastResult = codecs.DriverEnum(
        [this](HACMDRIVERID id, std::uint32_t) {
            ACMDRIVERDETAILS details;
            // A driver whose details cannot be read is never taken for the codec.
            if (codecs.DriverDetails(id, details, 0) != mmresult::kNoError)
                return true;
            if (details.wMid == kCodecManufacturerId && details.wPid >= kFirstCodecProductId &&
                details.wPid <= kLastCodecProductId) {
                driverId = id;
                edition = details.wPid - kFirstCodecProductId;
                return false;
            }
            return true;
        },
        0);
    return driverId != nullptr;
}

int ConverterEngine::GetCodecEdition()
{
    if (driverId != nullptr)
        return edition;
    return FindCodecDriver() ? edition : -1;
}

std::string ConverterEngine::GetCodecEditionName()
{
    const int current = GetCodecEdition();
    if (current >= 0 && current < static_cast<int>(kEditionNames.size()))
        return kEditionNames[current];
    return {};
}

void ConverterEngine::ShowCodecAbout(DriverAboutHost* parent)
{
    if (driverId == nullptr) {
        if (presenter != nullptr)
            presenter->Beep(EventSound::Bell);
        return;
    }
    HACMDRIVER driver = nullptr;
    // A driver that cannot be opened shows nothing.
    if (codecs.DriverOpen(driver, driverId, 0) != mmresult::kNoError)
        return;
    codecs.DriverMessage(driver, kDriverMessageAbout, parent);
    codecs.DriverClose(driver, 0);
}

} // namespace cantrix
