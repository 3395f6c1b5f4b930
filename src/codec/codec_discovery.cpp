#include "codec/codec_discovery.h"

#include <array>

namespace cantrix {

namespace {
constexpr std::uint16_t kCodecManufacturerId = 172;
constexpr std::uint16_t kFirstCodecProductId = 10;
constexpr std::uint16_t kLastCodecProductId = 14;
constexpr std::array<const char*, 4> kEditionNames = {"Pebble", "Meadow", "Ridge", "Summit"};
} // namespace

std::optional<CodecIdentity> FindCodec(CodecManager& codecs)
{
    std::optional<CodecIdentity> found;
    // The enumeration's own result says nothing the search does not: no driver, no codec.
    (void)codecs.DriverEnum(
        [&](HACMDRIVERID id, std::uint32_t) {
            ACMDRIVERDETAILS details;
            // A driver whose details cannot be read is never taken for the codec.
            if (codecs.DriverDetails(id, details, 0) != mmresult::kNoError)
                return true;
            if (details.wMid == kCodecManufacturerId && details.wPid >= kFirstCodecProductId &&
                details.wPid <= kLastCodecProductId) {
                found = CodecIdentity{id, details.wPid - kFirstCodecProductId};
                return false;
            }
            return true;
        },
        0);
    return found;
}

std::string CodecEditionName(int edition)
{
    if (edition >= 0 && edition < static_cast<int>(kEditionNames.size()))
        return kEditionNames[edition];
    return {};
}

bool ShowCodecAboutBox(CodecManager& codecs, const CodecIdentity& codec, DriverAboutHost* parent)
{
    HACMDRIVER driver = nullptr;
    if (codecs.DriverOpen(driver, codec.driverId, 0) != mmresult::kNoError)
        return false;
    // A driver without a box of its own shows nothing, which is all the user can be told.
    (void)codecs.DriverMessage(driver, kDriverMessageAbout, parent);
    // Closing releases the handle whatever it reports; there is nothing left to undo.
    (void)codecs.DriverClose(driver, 0);
    return true;
}

} // namespace cantrix
