#include "app/options_store.h"

namespace cantrix {

namespace {
constexpr const char* kGroup = "Settings";
constexpr const char* kConversionDir = "Conversion Dir";
constexpr const char* kWriteWavs = "Write WAVs";
constexpr const char* kRingTheBell = "Ring The Bell";

std::int32_t ReadNumber(QSettings& settings, const char* key, std::int32_t fallback)
{
    const QVariant value = settings.value(key);
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : fallback;
}
} // namespace

Options LoadOptions(QSettings& settings)
{
    Options options;
    settings.beginGroup(kGroup);
    options.conversionDir = settings.value(kConversionDir).toString();
    options.writeWavs = ReadNumber(settings, kWriteWavs, 1);
    options.ringTheBell = ReadNumber(settings, kRingTheBell, 1);
    settings.endGroup();
    return options;
}

void SaveOptions(QSettings& settings, const Options& options)
{
    settings.beginGroup(kGroup);
    if (!options.conversionDir.isEmpty())
        settings.setValue(kConversionDir, options.conversionDir);
    settings.setValue(kRingTheBell, options.ringTheBell);
    settings.setValue(kWriteWavs, options.writeWavs);
    settings.endGroup();
    settings.sync();
}

} // namespace cantrix
