#include "app/headless/headless_main.h"

#include "app/headless/headless_options.h"
#include "app/headless/headless_runner.h"
#include "app/options_store.h"
#include "platform/worker_pool.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <csignal>
#include <cstdio>
#include <thread>

namespace cantrix {

namespace {
constexpr int kUsageStatus = 2;

std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the Ctrl-C handler may only touch lock-free atomics");

extern "C" void OnInterrupt(int)
{
    interruptRequested.store(true);
}
} // namespace

int RunHeadless(int argc, char** argv)
{
    // The same options as the window's, read only: the terminal never changes them.
    const QString applicationName = QFileInfo(QFile::decodeName(argv[0])).completeBaseName();
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Quillonics", applicationName);
    const Options saved = LoadOptions(settings);

    HeadlessDefaults defaults;
    defaults.writeRiff = saved.writeWavs != 0;
    defaults.conversionDir = QFile::encodeName(saved.conversionDir).toStdString();
    defaults.jobs = std::max(1u, std::thread::hardware_concurrency());
    defaults.threads = defaults.jobs;

    const std::vector<std::string> arguments(argv + 2, argv + argc);
    const ParseResult parsed = ParseHeadlessArguments(arguments, defaults);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "cantrix: %s\n%s", parsed.error.c_str(), HeadlessUsage().c_str());
        return kUsageStatus;
    }
    if (parsed.options.help) {
        std::fputs(HeadlessUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::printf("cantrix %s\n", CANTRIX_VERSION);
        return 0;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    WorkerPool::Shared().SetThreadLimit(parsed.options.threads);
    HeadlessRunner runner(CodecManager::Instance(), interruptRequested);
    return parsed.options.listFormats ? runner.ListFormats(parsed.options) : runner.Encode(parsed.options);
}

} // namespace cantrix
