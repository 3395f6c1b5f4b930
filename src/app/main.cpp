#include "app/converter_app.h"
#include "app/headless/headless_main.h"
#include "drivers/built_in_drivers.h"
#include "platform/codec_manager.h"

#include <string_view>

int main(int argc, char** argv)
{
    // The codec drivers are in the table before any engine looks for them.
    cantrix::InstallBuiltInDrivers(cantrix::CodecManager::Instance());
    const std::string_view first = argc > 1 ? argv[1] : "";
    if (first == "--encode")
        return cantrix::RunHeadless(argc, argv);
    // A file really named so is opened as ./--help.
    if (first == "--help" || first == "--version")
        return cantrix::RunInformation(argc, argv);
    return cantrix::RunConverterApp(argc, argv);
}
