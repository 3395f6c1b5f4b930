#include "app/converter_app.h"

#include "app/app_session.h"
#include "app/headless/headless_options.h"
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
#include <string_view>
#include <vector>

namespace cantrix {

namespace {
constexpr const char* kCompany = "Quillonics";
constexpr int kNoWindowStatus = 1;
// As long as a desktop's event sounds last, and the longest a user waits for a program to end.
constexpr std::chrono::milliseconds kSoundsAtExit{2000};
constexpr const char* kNoWindow = "cantrix: cannot open a window";
constexpr const char* kUseTheTerminal = "cantrix --encode converts from a terminal";

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// What Qt has reported while the application object is built, one message after the other.
std::string& StartupReports()
{
    static std::string reports;
    return reports;
}

// Qt ends the process with a fatal message when no platform plugin starts: the display named is
// not there, or the plugin or a library it needs cannot be loaded. While the application object is
// built, that becomes one line with Qt's reason and an exit instead of Qt's lines and an abort; on
// success Qt's reports on the way are dropped.
void OnStartupMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        return;
    std::string& reports = StartupReports();
    const std::string line = message.section(QLatin1Char('\n'), 0, 0).trimmed().toStdString();
    if (type != QtFatalMsg) {
        reports += (reports.empty() ? "" : "; ") + line;
        return;
    }
    // The fatal message only says that no plugin started; the reason came before it.
    std::fprintf(stderr, "%s (Qt: %s); %s\n", kNoWindow, (reports.empty() ? line : reports).c_str(),
                 kUseTheTerminal);
    std::_Exit(kNoWindowStatus);
}
} // namespace

int RunConverterApp(int argc, char** argv)
{
    // The window takes no options (--help and --version are answered before it starts), so a
    // mistyped one is not loaded as the input file.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with("--"))
            return ReportUsageError(std::string("unknown option ") + argv[i], "cantrix --help");
    }
    // A platform named outright (offscreen, for one) needs no display.
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "%s (no display); %s\n", kNoWindow, kUseTheTerminal);
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
