#pragma once
// The fixed identifiers of the main window's controls and menu commands. Each widget and menu
// action carries its identifier as its object name and in the property "controlId".
namespace cantrix::ids {

// Controls of the main window.
constexpr int kProgress = 1000;
constexpr int kEncode = 1001;
constexpr int kInputFormat = 1002;
constexpr int kOutputFormat = 1003;
constexpr int kPresetLowest = 1004;
constexpr int kPresetModem = 1005;
constexpr int kPresetIsdn = 1006;
constexpr int kPresetList = 1007;
constexpr int kInputLabel = 1009;
constexpr int kOutputLabel = 1010;
constexpr int kSelectInput = 1014;
constexpr int kInputPath = 1015;
constexpr int kOutputPath = 1016;
constexpr int kFormatList = 1017;
constexpr int kSetOutput = 1019;
constexpr int kPreview = 1020;

// Menu commands.
constexpr int kMenuWriteRiff = 32771;
constexpr int kMenuSelectInput = 32772;
constexpr int kMenuExit = 32773;
constexpr int kMenuAbout = 32774;
constexpr int kMenuCodecAbout = 32775;
constexpr int kMenuBeep = 32776;
constexpr int kMenuConversionDir = 32777;
constexpr int kMenuHelpContents = 32778;
constexpr int kMenuHelpOnHelp = 32779;

// The About entry of the window's context menu, which stands in for the system menu.
constexpr int kSystemAbout = 16;

// The end-of-conversion message the window registers with the engine.
constexpr unsigned kConversionDone = 1066;

} // namespace cantrix::ids
