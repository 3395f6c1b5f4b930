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
#include <string>
#include <vector>

namespace cantrix {

namespace {
constexpr const char* kCompany = "Quillonics";
} // namespace

int RunConverterApp(int argc, char** argv)
{
    QApplication application(argc, argv);
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
    return session.Run(QueryPlatformVersion(), std::vector<std::string>(argv, argv + argc));
}

} // namespace cantrix
