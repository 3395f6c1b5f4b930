#include "app/headless/headless_main.h"

#include "app/headless/headless_options.h"
#include "app/headless/headless_runner.h"
#include "app/headless/standard_output.h"
#include "app/options_store.h"
#include "platform/worker_pool.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <thread>

namespace cantrix {

namespace {
// The number of the signal that stops the run; 0 while none has come.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

extern "C" void OnStopSignal(int number)
{
    stopSignal.store(number);
}

// Ctrl-C, a logout and a polite kill all cancel the run, so that no temporary file stays behind.
// A hangup that nohup ignores stays ignored. An oversized write fails as a write error instead of
// killing the process, and a reader that closes standard output ends the stream without a signal.
void InstallSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        if (number == SIGHUP && sigaction(SIGHUP, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(number, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

int PrintHelp()
{
    std::fputs(HelpText().c_str(), stdout);
    return 0;
}

int PrintVersion()
{
    std::printf("cantrix %s\n", CANTRIX_VERSION);
    return 0;
}

// The checks of the command line that need to look at the files and at standard output.
std::string CheckAgainstTheSystem(const HeadlessOptions& options)
{
    std::error_code ignored;
    if (!options.output.empty() && options.inputs.front() != kStandardStream &&
        std::filesystem::is_directory(options.inputs.front(), ignored))
        return "--output takes one input file, not a folder";
    const std::string& folder = options.conversionDir;
    if (options.output.empty() && !folder.empty() && std::filesystem::exists(folder, ignored) &&
        !std::filesystem::is_directory(folder, ignored))
        return "the conversion directory " + folder + " is not a folder";
    if (options.output == kStandardStream && options.writeRiff && !options.listFormats &&
        !StandardOutputTakesContainer())
        return "--riff cannot write to this standard output: a RIFF/WAVE file's sizes are written at its "
               "end, which needs a file that can seek (use --raw, or --output FILE)";
    return "";
}
} // namespace

int RunInformation(int argc, char** argv)
{
    const std::string_view request = argv[1];
    if (argc > 2)
        return ReportUsageError(std::string(request) + " takes no other arguments", "cantrix --help");
    return request == "--help" ? PrintHelp() : PrintVersion();
}

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
    defaults.namesStandardOutput = NamesStandardOutput;

    const std::vector<std::string> arguments(argv + 2, argv + argc);
    const ParseResult parsed = ParseHeadlessArguments(arguments, defaults);
    if (!parsed.error.empty())
        return ReportUsageError(parsed.error);
    if (parsed.options.help)
        return PrintHelp();
    if (parsed.options.version)
        return PrintVersion();
    if (const std::string problem = CheckAgainstTheSystem(parsed.options); !problem.empty())
        return ReportUsageError(problem);

    InstallSignalHandlers();
    WorkerPool::Shared().SetThreadLimit(parsed.options.threads);
    HeadlessRunner runner(CodecManager::Instance(), stopSignal);
    return parsed.options.listFormats ? runner.ListFormats(parsed.options) : runner.Encode(parsed.options);
}

} // namespace cantrix
