#include "app/converter_app.h"
#include "app/headless/headless_main.h"
#include "drivers/built_in_drivers.h"
#include "platform/codec_manager.h"

#include <string_view>

int main(int argc, char** argv)
{
    // The codec drivers are in the table before any engine looks for them.
    cantrix::InstallBuiltInDrivers(cantrix::CodecManager::Instance());
    if (argc > 1 && std::string_view(argv[1]) == "--encode")
        return cantrix::RunHeadless(argc, argv);
    return cantrix::RunConverterApp(argc, argv);
}
