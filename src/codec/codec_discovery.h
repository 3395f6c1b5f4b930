#pragma once
// Codec discovery: finding the Layer-3 codec among the installed drivers and naming its edition.
#include "platform/codec_driver.h"
#include "platform/codec_manager.h"

#include <optional>
#include <string>

namespace cantrix {

struct CodecIdentity {
    HACMDRIVERID driverId = nullptr;
    // 0 to 4, from the lowest edition to the highest.
    int edition = -1;
};

// The first installed driver that is the Layer-3 codec, if any.
[[nodiscard]] std::optional<CodecIdentity> FindCodec(CodecManager& codecs);
// The edition's name ("Summit"), or empty for an edition without one.
std::string CodecEditionName(int edition);
// Has the codec show its own About box over `parent`. False when the driver could not be opened.
[[nodiscard]] bool ShowCodecAboutBox(CodecManager& codecs, const CodecIdentity& codec,
                                     DriverAboutHost* parent);

} // namespace cantrix
