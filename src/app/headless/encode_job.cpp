#include "app/headless/encode_job.h"

#include "platform/string_table.h"
#include "ui/output_naming.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace cantrix {

namespace {
constexpr std::uint32_t kDoneMessage = 1066;
// Editions below this one offer no ISDN preset.
constexpr int kFirstIsdnEdition = 2;
} // namespace

void JobSignal::Notify()
{
    {
        std::lock_guard lock(mutex);
        pending = true;
    }
    arrived.notify_all();
}

void JobSignal::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, timeout, [this] { return pending; });
    pending = false;
}

EncodeJob::EncodeJob(RunInput source, CodecManager& codecs, JobSignal& signal)
    : source(std::move(source)), signal(signal), engine(codecs, this)
{
    engine.SetProgressCtrl(this);
    engine.SetNotifyTarget(this, kDoneMessage);
}

std::string EncodeJob::MessageText(std::uint32_t id) const
{
    std::string text = LoadString(id);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

int EncodeJob::ChooseFormat(const HeadlessOptions& options)
{
    if (options.format) {
        const std::string& wanted = *options.format;
        unsigned index = 0;
        const char* end = wanted.data() + wanted.size();
        if (const auto [rest, problem] = std::from_chars(wanted.data(), end, index);
            problem == std::errc() && rest == end)
            return index < engine.GetFormatCount() ? static_cast<int>(index) : -1;
        for (unsigned i = 0; i < engine.GetFormatCount(); ++i) {
            if (engine.GetFormatName(i) == wanted)
                return static_cast<int>(i);
        }
        return -1;
    }
    Preset preset =
        options.preset.value_or(engine.GetCodecEdition() < kFirstIsdnEdition ? Preset::Modem : Preset::Isdn);
    switch (preset) {
    case Preset::Lowest:
        return engine.FindLowestBitrateFormat();
    case Preset::Modem:
        return engine.FindModemFormat();
    case Preset::Isdn:
        return engine.FindIsdnFormat();
    }
    return 0;
}

bool EncodeJob::Prepare(const HeadlessOptions& options, std::set<std::string>& claimedOutputs,
                        const std::atomic<bool>& interrupted)
{
    if (!source.error.empty()) {
        error = source.error;
        return false;
    }
    std::string input = source.path;
    if (input == kStandardStream) {
        spool = std::make_unique<StdinSpool>();
        if (!spool->Fill(interrupted, error))
            return false;
        input = spool->Path();
    }
    if (!engine.AnalyzeInput(input, false)) {
        error = MessageText(lastMessage);
        return false;
    }
    if (engine.GetFormatCount() == 0) {
        error = MessageText(strings::kRateNotSupported);
        return false;
    }
    const int index = ChooseFormat(options);
    if (index < 0) {
        error = "the format \"" + *options.format + "\" is not offered for this file (see --list-formats)";
        return false;
    }
    const std::uint32_t bytesPerSecond = engine.GetInputFormat().nAvgBytesPerSec;
    audioSeconds = bytesPerSecond == 0 ? 0.0 : static_cast<double>(engine.GetDataSize()) / bytesPerSecond;
    engine.SetFormatIndex(index);
    formatName = engine.GetFormatName(static_cast<unsigned>(index));
    engine.SetWriteRiff(options.writeRiff ? 1 : 0);

    // A file found in a sub-folder of a folder named on the command line has its output in the
    // same sub-folder below the conversion directory.
    std::string outputDir = options.conversionDir;
    if (!outputDir.empty() && !source.subfolder.empty())
        outputDir = (std::filesystem::path(outputDir) / source.subfolder).string();
    output =
        options.output.empty() ? DeriveOutputPath(source.path, options.writeRiff, outputDir) : options.output;
    const bool toStandardOutput = output == kStandardStream;
    const std::string target = toStandardOutput ? kStandardOutputPath : output;
    std::error_code ignored;
    if (std::filesystem::equivalent(target, input, ignored)) {
        error = MessageText(strings::kOutputIsInput);
        return false;
    }
    // Two inputs of one run that name the same output would write one file from two workers.
    const std::string key = std::filesystem::weakly_canonical(output, ignored).string();
    if (!claimedOutputs.insert(key.empty() ? output : key).second) {
        error = "another file of this run is written to " + output;
        return false;
    }
    if (!toStandardOutput && std::filesystem::exists(std::filesystem::symlink_status(output, ignored))) {
        if (options.skipExisting) {
            skipped = true;
            return false;
        }
        if (!options.overwrite) {
            error = "the output file " + output + " exists (--overwrite replaces it)";
            return false;
        }
    }
    if (toStandardOutput && !options.writeRiff) {
        relay = std::make_unique<StandardOutputRelay>();
        if (!relay->Start(error))
            return false;
        engine.SetOutputPath(relay->Path());
    } else {
        engine.SetOutputPath(target);
    }
    // Only the sub-folders are made: a conversion directory that does not exist fails the open
    // with its message, as it does for a single file.
    if (outputDir != options.conversionDir && std::filesystem::is_directory(options.conversionDir, ignored))
        std::filesystem::create_directories(outputDir, ignored);
    removeIfIncomplete = options.skipExisting && !toStandardOutput;
    return true;
}

bool EncodeJob::Start()
{
    lastMessage = 0;
    startedAt = std::chrono::steady_clock::now();
    if (engine.StartConversion())
        return true;
    error = MessageText(lastMessage);
    done = true;
    return false;
}

void EncodeJob::PostNotify(std::uint32_t)
{
    done = true;
    signal.Notify();
}

void EncodeJob::Finish()
{
    engine.WaitForWorker();
    if (engine.GetRunOutcome() == RunOutcome::Failed)
        error = MessageText(engine.GetRunMessage());
    cancelled = engine.GetRunOutcome() == RunOutcome::Cancelled;
    if (relay && !relay->Finish() && error.empty())
        error = MessageText(strings::kOutputIncomplete);
    std::error_code ignored;
    if (removeIfIncomplete && (cancelled || !error.empty()))
        incompleteRemoved = std::filesystem::remove(output, ignored);
}

double EncodeJob::ElapsedSeconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
}

double EncodeJob::Progress() const
{
    const std::uint32_t total = range.load();
    if (total == 0)
        return done.load() ? 1.0 : 0.0;
    return std::min(1.0, static_cast<double>(steps.load(std::memory_order_relaxed)) / total);
}

} // namespace cantrix
