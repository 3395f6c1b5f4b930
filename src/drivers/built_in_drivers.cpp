#include "drivers/built_in_drivers.h"

#include "drivers/lame_driver.h"

#include <memory>

namespace cantrix {

void InstallBuiltInDrivers(CodecManager& manager)
{
    manager.Install(std::make_unique<LameDriver>());
}

} // namespace cantrix
