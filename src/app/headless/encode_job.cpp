#include "app/headless/encode_job.h"

#include "audio/output_naming.h"
#include "platform/string_table.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace cantrix {

namespace {
constexpr std::uint32_t kDoneMessage = 1066;

std::string OutputExists(const std::string& output)
{
    return "the output file " + output + " exists (--overwrite replaces it)";
}
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

std::string EncodeJob::MessageText(std::uint32_t id, const std::string& path, const std::string& reason) const
{
    return MessageText(id) + " (" + path + ": " + reason + ")";
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
    // The best preset the codec's edition offers.
    const Preset fallback = EditionHasIsdnPreset(engine.GetCodecEdition()) ? Preset::Isdn : Preset::Modem;
    return engine.FindPresetFormat(options.preset.value_or(fallback));
}

bool EncodeJob::Plan(const HeadlessOptions& options, RunOutputs& run)
{
    if (!source.error.empty()) {
        error = source.error;
        return false;
    }
    // A file found in a sub-folder of a folder named on the command line has its output in the
    // same sub-folder below the conversion directory.
    outputDir = options.conversionDir;
    if (!outputDir.empty() && !source.subfolder.empty())
        outputDir = (std::filesystem::path(outputDir) / source.subfolder).string();
    output =
        options.output.empty() ? DeriveOutputPath(source.path, options.writeRiff, outputDir) : options.output;
    const std::optional<FileIdentity> existing =
        IdentifyFile(output == kStandardStream ? kStandardOutputPath : output);
    if (existing && run.inputs.contains(*existing)) {
        error = MessageText(strings::kOutputIsInput);
        return false;
    }
    // Two inputs of one run that name the same output would write one file from two workers.
    std::error_code ignored;
    const std::string key = std::filesystem::weakly_canonical(output, ignored).string();
    if (!run.claimed.insert(key.empty() ? output : key).second) {
        error = "another file of this run is written to " + output;
        return false;
    }
    return true;
}

bool EncodeJob::Prepare(const HeadlessOptions& options, RunOutputs& run, const std::atomic<int>& stopSignal)
{
    if (!error.empty())
        return false;
    input = source.path;
    if (input == kStandardStream) {
        spool = std::make_unique<StdinSpool>();
        if (!spool->Fill(stopSignal, error))
            return false;
        input = spool->Path();
    }
    // A failed stat leaves zeros, which no file that the analysis accepts matches at the end.
    ::stat(input.c_str(), &analysed);
    if (!engine.AnalyzeInput(input, false)) {
        error = MessageText(lastMessage);
        return false;
    }
    engine.SetTagOverrides(options.tags);
    if (!options.tags.dropAll)
        warning = engine.GetInputTags().warning;
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

    if (output != kStandardStream)
        return CreateTemporaryOutput(options, run);
    if (options.writeRiff) {
        engine.SetOutputPath(kStandardOutputPath);
        return true;
    }
    relay = std::make_unique<StandardOutputRelay>();
    if (!relay->Start(error))
        return false;
    engine.SetOutputPath(relay->Path());
    return true;
}

bool EncodeJob::CreateTemporaryOutput(const HeadlessOptions& options, RunOutputs& run)
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    if (fs::exists(fs::symlink_status(output, ignored))) {
        if (options.skipExisting) {
            skipped = true;
            return false;
        }
        if (!options.overwrite) {
            error = OutputExists(output);
            return false;
        }
        // A device or a FIFO has no name to rename onto: it is written in place, as it always was.
        if (!fs::is_regular_file(fs::status(output, ignored))) {
            engine.SetOutputPath(output);
            return true;
        }
    }
    // The conversion directory is made as its sub-folders are.
    std::error_code problem;
    if (!outputDir.empty() && options.output.empty() && !fs::create_directories(outputDir, problem) &&
        problem) {
        error = MessageText(strings::kOutputCannotOpen, outputDir, problem.message());
        return false;
    }
    // The output's name keeps leading where a link to it leads.
    std::string finalPath = output;
    if (fs::is_symlink(fs::symlink_status(output, ignored))) {
        if (const fs::path target = fs::canonical(output, ignored); !ignored)
            finalPath = target.string();
    }
    run.leftovers.SweepOnce(fs::path(finalPath).parent_path().string());
    pending = std::make_unique<PendingOutput>();
    std::string reason;
    if (!pending->Create(finalPath, reason)) {
        error = MessageText(strings::kOutputCannotOpen, output, reason);
        return false;
    }
    engine.SetOutputPath(pending->Path());
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

void EncodeJob::Finish(const HeadlessOptions& options)
{
    engine.WaitForWorker();
    const RunOutcome outcome = engine.GetRunOutcome();
    if (outcome == RunOutcome::Failed) {
        const int number = engine.GetRunOutputError();
        error = number == 0
                    ? MessageText(engine.GetRunMessage())
                    : MessageText(engine.GetRunMessage(), output, std::system_category().message(number));
    }
    cancelled = outcome == RunOutcome::Cancelled;
    if (relay && !relay->Finish() && !relay->ReaderGone() && error.empty())
        error = MessageText(strings::kOutputIncomplete);
    if (outcome == RunOutcome::Finished && error.empty())
        CheckInputUnchanged();
    if (pending && error.empty() && !cancelled)
        Publish(options);
    pending.reset();
}

void EncodeJob::CheckInputUnchanged()
{
    struct stat now {};
    const bool same = ::stat(input.c_str(), &now) == 0 && now.st_ino == analysed.st_ino &&
                      now.st_dev == analysed.st_dev && now.st_size == analysed.st_size &&
                      now.st_mtim.tv_sec == analysed.st_mtim.tv_sec &&
                      now.st_mtim.tv_nsec == analysed.st_mtim.tv_nsec;
    // What the data chunk claims, and what the file held of it when it was analysed.
    const InputDescription& analysedInput = engine.GetInput();
    const std::uint64_t claimed = analysedInput.dataSize;
    const std::uint64_t present = analysedInput.heldBytes;
    if (!same || engine.GetRunPcmBytes() < present) {
        error = "the input changed while it was being converted";
        return;
    }
    const double perSecond = engine.GetInputFormat().nAvgBytesPerSec;
    char text[160];
    if (analysedInput.lengthUnknown) {
        std::snprintf(text, sizeof text,
                      "its header states no length (a recording never finished, or a stream); the %.1f s of "
                      "audio found in the file were converted",
                      static_cast<double>(present) / perSecond);
        warning = text;
    } else if (present < claimed) {
        std::snprintf(text, sizeof text,
                      "the file holds %.1f s of the %.1f s of audio its header announces; that much was "
                      "converted",
                      static_cast<double>(present) / perSecond, static_cast<double>(claimed) / perSecond);
        warning = warning.empty() ? std::string(text) : text + ("; " + warning);
    }
    if (const std::uint64_t clipped = engine.GetRunClippedSamples(); clipped != 0) {
        std::snprintf(text, sizeof text, "%llu float samples beyond full scale (±1.0) were clipped",
                      static_cast<unsigned long long>(clipped));
        warning += (warning.empty() ? "" : "; ") + std::string(text);
    }
}

void EncodeJob::Publish(const HeadlessOptions& options)
{
    std::string reason;
    switch (pending->Publish(options.overwrite, reason)) {
    case PendingOutput::Result::Published:
        break;
    case PendingOutput::Result::Exists:
        // Another run wrote the same output meanwhile.
        if (options.skipExisting)
            skipped = true;
        else
            error = OutputExists(output);
        break;
    case PendingOutput::Result::Failed:
        error = MessageText(strings::kOutputIncomplete, output, reason);
        break;
    }
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
