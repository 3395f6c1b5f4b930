#pragma once
// The codec drivers built into the program.
#include "platform/codec_manager.h"

namespace cantrix {

// Installs the built-in drivers in `manager`; start-up calls it once, before any other call.
void InstallBuiltInDrivers(CodecManager& manager);

} // namespace cantrix
