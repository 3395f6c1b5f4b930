#include "app/converter_app.h"

#include "app/app_session.h"
#include "engine/converter_engine.h"
#include "platform/codec_manager.h"
#include "platform/version_query.h"
#include "ui/app_icon.h"
#include "ui/qt_message_presenter.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace cantrix {

namespace {
constexpr const char* kCompany = "Quillonics";
constexpr int kNoWindowStatus = 1;
// As long as a desktop's event sounds last, and the longest a user waits for a program to end.
constexpr std::chrono::milliseconds kSoundsAtExit{2000};
constexpr const char* kNoDisplay =
    "cantrix: cannot open a window (no display); cantrix --encode converts from a terminal\n";
constexpr const char* kDisplayUnreachable = "cantrix: cannot open a window (the display does not answer); "
                                            "cantrix --encode converts from a terminal\n";

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt ends the process with a fatal message when no platform plugin starts, for example when the
// display named is not there. While the application object is built, that becomes one clear line
// and an exit instead of Qt's lines and an abort; Qt's warnings on the way are dropped with it.
void OnStartupMessage(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtFatalMsg) {
        std::fputs(kDisplayUnreachable, stderr);
        std::_Exit(kNoWindowStatus);
    }
}
} // namespace

int RunConverterApp(int argc, char** argv)
{
    // A platform named outright (offscreen, for one) needs no display.
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
        std::fputs(kNoDisplay, stderr);
        return kNoWindowStatus;
    }
    const QtMessageHandler previousHandler = qInstallMessageHandler(OnStartupMessage);
    QApplication application(argc, argv);
    qInstallMessageHandler(previousHandler);
    // The executable's base name names the options' key and captions every message box.
    QApplication::setApplicationName(QFileInfo(QFile::decodeName(argv[0])).completeBaseName());
    QApplication::setWindowIcon(AppIcon());

    // Destroyed in reverse order: the engine (whose worker has ended by then) before the
    // presenter it reports through.
    QtMessagePresenter presenter;
    ConverterEngine engine(CodecManager::Instance(), &presenter);
    QSettings settings(QString::fromUtf8(kCompany), QApplication::applicationName());
    AppSession session(engine, presenter, settings);
    // The arguments as the file system's bytes, so no file name is ever re-encoded.
    const int status = session.Run(QueryPlatformVersion(), std::vector<std::string>(argv, argv + argc));
    // Started with a file, the program ends right after its run, and so right after the beep.
    presenter.WaitForSounds(kSoundsAtExit);
    return status;
}

} // namespace cantrix
