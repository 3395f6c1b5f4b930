#include "app/app_session.h"

#include "app/long_path_rule.h"
#include "app/options_store.h"
#include "engine/converter_engine.h"
#include "platform/string_table.h"
#include "ui/main_dialog.h"

#include <QFile>
#include <QSettings>

namespace cantrix {

namespace {
constexpr int kExitTooOld = 1;
} // namespace

AppSession::AppSession(ConverterEngine& engine, MessagePresenter& presenter, QSettings& settings)
    : engine(engine), presenter(presenter), settings(settings)
{
}

int AppSession::Run(const PlatformVersion& version, const std::vector<std::string>& arguments)
{
    if (IsPlatformTooOld(version)) {
        presenter.ShowMessage(strings::kPlatformTooOld);
        return kExitTooOld;
    }

    Options options = LoadOptions(settings);
    std::string conversionDir = QFile::encodeName(options.conversionDir).toStdString();
    engine.SetWriteRiff(options.writeWavs);
    {
        MainDialog dialog(engine, conversionDir, presenter);
        dialog.SetBeepWhenDone(options.ringTheBell);
        dialog.SetChooserSettings(&settings);
        if (arguments.size() > 1)
            dialog.SetPendingInput(LongPathFromArgument(arguments[1]));
        // The dialog returns from its run only after a running conversion has ended.
        dialog.Run();

        options.conversionDir = QFile::decodeName(QByteArray::fromStdString(conversionDir));
        options.ringTheBell = dialog.GetBeepWhenDone();
        options.writeWavs = engine.GetWriteRiff();
        SaveOptions(settings, options);
    }
    return 0;
}

} // namespace cantrix
