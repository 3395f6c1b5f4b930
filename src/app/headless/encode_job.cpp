#include "app/headless/encode_job.h"

#include "app/headless/standard_output.h"
#include "audio/output_naming.h"
#include "platform/string_table.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace cantrix {

namespace {
namespace fs = std::filesystem;

constexpr std::uint32_t kDoneMessage = 1066;

std::string OutputExists(const std::string& output)
{
    return "the output file " + output + " exists (--overwrite replaces it)";
}

std::string MessageText(std::uint32_t id)
{
    std::string text = LoadString(id);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string SystemReason(int number)
{
    return std::system_category().message(number);
}

bool IsDeviceOrFifo(mode_t mode)
{
    return S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

// Opens a folder below `parent`, making it when it is missing; a link there is not followed, so
// that no link planted in a shared conversion directory leads the outputs elsewhere.
FileDescriptor EnterFolder(int parent, const std::string& name, std::string& reason)
{
    if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
        reason = SystemReason(errno);
        return {};
    }
    FileDescriptor folder(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.IsOpen())
        reason = errno == ELOOP || errno == ENOTDIR ? "not a folder (a link there is not followed)"
                                                    : SystemReason(errno);
    return folder;
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
    : source(std::move(source)), codecs(codecs), signal(signal)
{
}

void EncodeJob::FailOutput(std::uint32_t id, const std::string& path, const std::string& reason)
{
    error = MessageText(id) + " (" + path + ": " + reason + ")";
}

int EncodeJob::ChooseFormat(const HeadlessOptions& options)
{
    if (options.format) {
        const std::string& wanted = *options.format;
        unsigned index = 0;
        const char* end = wanted.data() + wanted.size();
        if (const auto [rest, problem] = std::from_chars(wanted.data(), end, index);
            problem == std::errc() && rest == end)
            return index < engine->GetFormatCount() ? static_cast<int>(index) : -1;
        for (unsigned i = 0; i < engine->GetFormatCount(); ++i) {
            if (engine->GetFormatName(i) == wanted)
                return static_cast<int>(i);
        }
        return -1;
    }
    // The best preset the codec's edition offers.
    const Preset fallback = EditionHasIsdnPreset(engine->GetCodecEdition()) ? Preset::Isdn : Preset::Modem;
    return engine->FindPresetFormat(options.preset.value_or(fallback));
}

bool EncodeJob::Plan(const HeadlessOptions& options, RunOutputs& run)
{
    if (!source.error.empty()) {
        error = source.error;
        return false;
    }
    const PlannedOutput planned = PlanOutput(source, options);
    output = planned.path;
    outputDir = planned.folder;
    if (run.IsInput(output == kStandardStream ? kStandardOutputPath : output)) {
        error = MessageText(strings::kOutputIsInput);
        return false;
    }
    // Two inputs of one run that name the same output would write one file from two workers.
    switch (run.ClaimOutput(output, source)) {
    case RunOutputs::Claim::Free:
        break;
    case RunOutputs::Claim::NamedTwice:
        namedTwice = true;
        return false;
    case RunOutputs::Claim::Taken:
        error = "another file of this run is written to " + output;
        return false;
    }
    return output == kStandardStream || CheckExistingOutput(options);
}

bool EncodeJob::CheckExistingOutput(const HeadlessOptions& options)
{
    struct stat named {
    }, target{};
    if (::lstat(output.c_str(), &named) != 0)
        return true;
    const bool leads = ::stat(output.c_str(), &target) == 0;
    // A link of the user's own or of the system's (as /dev/stderr is) may lead to a device; one that
    // someone else planted is a name like any other.
    inPlaceThroughLink = S_ISLNK(named.st_mode) && (named.st_uid == 0 || named.st_uid == ::geteuid()) &&
                         leads && IsDeviceOrFifo(target.st_mode);
    inPlace = !options.output.empty() && (IsDeviceOrFifo(named.st_mode) || inPlaceThroughLink);
    if (options.skipExisting) {
        // Only a complete output of an earlier run counts: a regular file that holds something.
        if (leads && S_ISREG(target.st_mode) && target.st_size > 0) {
            skipped = true;
            return false;
        }
        // An empty file is no output of this program's; it is replaced.
        if (leads && S_ISREG(target.st_mode)) {
            replacesEmptyFile = true;
            return true;
        }
        FailOutput(strings::kOutputCannotOpen, output,
                   !leads                    ? "a link that leads nowhere"
                   : S_ISDIR(target.st_mode) ? SystemReason(EISDIR)
                                             : "not a regular file");
        return false;
    }
    if (!options.overwrite) {
        error = OutputExists(output);
        return false;
    }
    if (S_ISDIR(named.st_mode)) {
        FailOutput(strings::kOutputCannotOpen, output, SystemReason(EISDIR));
        return false;
    }
    return true;
}

bool EncodeJob::Prepare(const HeadlessOptions& options, RunOutputs& run, const std::atomic<int>& stopSignal)
{
    input = source.path;
    if (input == kStandardStream) {
        spool = std::make_unique<StdinSpool>();
        if (!spool->Fill(stopSignal, error))
            return false;
        input = spool->Path();
    }
    engine = std::make_unique<ConverterEngine>(codecs, static_cast<MessagePresenter*>(this));
    engine->SetProgressCtrl(this);
    engine->SetNotifyTarget(this, kDoneMessage);
    // A failed stat leaves zeros, which no file that the analysis accepts matches at the end.
    ::stat(input.c_str(), &analysed);
    if (!engine->AnalyzeInput(input, false)) {
        error = MessageText(lastMessage);
        return false;
    }
    engine->SetTagOverrides(options.tags);
    if (!options.tags.dropAll)
        warning = engine->GetInputTags().warning;
    if (engine->GetFormatCount() == 0) {
        error = MessageText(strings::kRateNotSupported);
        return false;
    }
    const int index = ChooseFormat(options);
    if (index < 0) {
        error = "the format \"" + *options.format + "\" is not offered for this file (see --list-formats)";
        return false;
    }
    const std::uint32_t bytesPerSecond = engine->GetInputFormat().nAvgBytesPerSec;
    audioSeconds = bytesPerSecond == 0 ? 0.0 : static_cast<double>(engine->GetDataSize()) / bytesPerSecond;
    engine->SetFormatIndex(index);
    formatName = engine->GetFormatName(static_cast<unsigned>(index));
    engine->SetWriteRiff(options.writeRiff ? 1 : 0);
    engine->SetOutputPath(output);
    return OpenDestination(options, run);
}

bool EncodeJob::OpenDestination(const HeadlessOptions& options, RunOutputs& run)
{
    if (output == kStandardStream && options.writeRiff) {
        // Standard output is a regular file at its start (checked before the run): the container
        // is written into it directly, from its first byte on.
        if (::ftruncate(STDOUT_FILENO, 0) != 0) {
            FailOutput(strings::kOutputCannotOpen, output, SystemReason(errno));
            return false;
        }
        engine->SetOutputDescriptor(STDOUT_FILENO);
        return true;
    }
    if (output == kStandardStream) {
        relay = std::make_unique<OutputRelay>();
        if (!relay->Start(error))
            return false;
        engine->SetOutputDescriptor(relay->Descriptor());
        return true;
    }
    if (inPlace)
        return OpenInPlace(options);

    FileDescriptor folder = OpenOutputFolder(options);
    if (!folder.IsOpen())
        return false;
    run.Leftovers().SweepOnce(folder.Get());
    pending = std::make_unique<PendingOutput>();
    std::string reason;
    if (!pending->Create(std::move(folder), fs::path(output).filename().string(), reason)) {
        FailOutput(strings::kOutputCannotOpen, output, reason);
        return false;
    }
    engine->SetOutputPath((fs::path(output).parent_path() / pending->TemporaryName()).string());
    engine->SetOutputDescriptor(pending->Descriptor());
    return true;
}

bool EncodeJob::OpenInPlace(const HeadlessOptions& options)
{
    struct stat status {};
    if (!options.writeRiff || (::stat(output.c_str(), &status) == 0 && S_ISFIFO(status.st_mode))) {
        // Opening a FIFO waits for its reader, and a terminal may stop taking output: the relay
        // waits there, so that a stop is not held up. A container needs a file it can seek in,
        // which only a device itself can be.
        relay = std::make_unique<OutputRelay>();
        if (!relay->StartPath(output, inPlaceThroughLink, error))
            return false;
        engine->SetOutputDescriptor(relay->Descriptor());
        return true;
    }
    const int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC | (inPlaceThroughLink ? 0 : O_NOFOLLOW);
    device = FileDescriptor(::open(output.c_str(), flags));
    if (!device.IsOpen() ||
        ::fcntl(device.Get(), F_SETFL, ::fcntl(device.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        FailOutput(strings::kOutputCannotOpen, output, SystemReason(errno));
        return false;
    }
    engine->SetOutputDescriptor(device.Get());
    return true;
}

FileDescriptor EncodeJob::OpenOutputFolder(const HeadlessOptions& options)
{
    std::string reason;
    if (outputDir.empty() || !options.output.empty()) {
        const fs::path parent = fs::path(output).parent_path();
        FileDescriptor folder(
            ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.IsOpen())
            FailOutput(strings::kOutputCannotOpen, output, SystemReason(errno));
        return folder;
    }
    // The conversion directory is made with its parents when missing, as named; the sub-folders
    // mirrored below it are made one by one, never through a link.
    const std::string& top = options.conversionDir;
    std::error_code problem;
    if (!fs::create_directories(top, problem) && problem) {
        FailOutput(strings::kOutputCannotOpen, top, problem.message());
        return {};
    }
    FileDescriptor folder(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsOpen()) {
        FailOutput(strings::kOutputCannotOpen, top, SystemReason(errno));
        return {};
    }
    fs::path reached = top;
    for (const fs::path& name : fs::path(source.subfolder)) {
        reached /= name;
        folder = EnterFolder(folder.Get(), name.string(), reason);
        if (!folder.IsOpen()) {
            FailOutput(strings::kOutputCannotOpen, reached.string(), reason);
            return {};
        }
    }
    return folder;
}

bool EncodeJob::Start()
{
    lastMessage = 0;
    startedAt = std::chrono::steady_clock::now();
    if (engine->StartConversion()) {
        running = true;
        return true;
    }
    error = MessageText(lastMessage);
    return false;
}

void EncodeJob::Cancel()
{
    if (engine)
        engine->RequestCancel();
    if (relay)
        relay->Abandon();
}

void EncodeJob::PostNotify(std::uint32_t)
{
    done = true;
    signal.Notify();
}

void EncodeJob::Finish(const HeadlessOptions& options)
{
    engine->WaitForWorker();
    running = false;
    const RunOutcome outcome = engine->GetRunOutcome();
    if (outcome == RunOutcome::Failed) {
        const int number = engine->GetRunOutputError();
        if (number == 0)
            error = MessageText(engine->GetRunMessage());
        else
            FailOutput(engine->GetRunMessage(), output, SystemReason(number));
    }
    cancelled = outcome == RunOutcome::Cancelled;
    if (relay && !relay->Finish()) {
        readerGone = relay->ReaderGone();
        if (!readerGone && error.empty())
            FailOutput(relay->OpenFailed() ? strings::kOutputCannotOpen : strings::kOutputIncomplete, output,
                       SystemReason(relay->ErrorNumber()));
    }
    if (outcome == RunOutcome::Finished && error.empty())
        CheckInputUnchanged();
    if (pending && error.empty() && !cancelled)
        Publish(options);
    engine.reset();
    pending.reset();
    relay.reset();
    device.Reset();
    spool.reset();
}

void EncodeJob::CheckInputUnchanged()
{
    struct stat now {};
    // The change time moves with every write, also one whose modification time was put back.
    const bool same =
        ::stat(input.c_str(), &now) == 0 && now.st_ino == analysed.st_ino && now.st_dev == analysed.st_dev &&
        now.st_size == analysed.st_size && now.st_mtim.tv_sec == analysed.st_mtim.tv_sec &&
        now.st_mtim.tv_nsec == analysed.st_mtim.tv_nsec && now.st_ctim.tv_sec == analysed.st_ctim.tv_sec &&
        now.st_ctim.tv_nsec == analysed.st_ctim.tv_nsec;
    // What the data chunk claims, and what the file held of it when it was analysed.
    const InputDescription& analysedInput = engine->GetInput();
    const std::uint64_t claimed = analysedInput.dataSize;
    const std::uint64_t present = analysedInput.heldBytes;
    if (!same || engine->GetRunPcmBytes() < present) {
        error = "the input changed while it was being converted";
        return;
    }
    const double perSecond = engine->GetInputFormat().nAvgBytesPerSec;
    char text[160];
    // Each finding is one clause of the file's warning line; what was found about the length
    // comes first.
    auto prepend = [&] { warning = warning.empty() ? std::string(text) : text + ("; " + warning); };
    if (analysedInput.lengthUnknown) {
        std::snprintf(text, sizeof text,
                      "its header states no length (a recording never finished, or a stream); the %.1f s of "
                      "audio found in the file were converted",
                      static_cast<double>(present) / perSecond);
        prepend();
    } else if (present < claimed) {
        std::snprintf(text, sizeof text,
                      "the file holds %.1f s of the %.1f s of audio its header announces; that much was "
                      "converted",
                      static_cast<double>(present) / perSecond, static_cast<double>(claimed) / perSecond);
        prepend();
    }
    if (const std::uint64_t clipped = engine->GetRunClippedSamples(); clipped != 0) {
        std::snprintf(text, sizeof text, "%llu float samples beyond full scale (±1.0) were clipped",
                      static_cast<unsigned long long>(clipped));
        warning += (warning.empty() ? "" : "; ") + std::string(text);
    }
}

void EncodeJob::Publish(const HeadlessOptions& options)
{
    std::string reason;
    switch (pending->Publish(options.overwrite || replacesEmptyFile, reason)) {
    case PendingOutput::Result::Published:
        break;
    case PendingOutput::Result::Exists:
        // Another run wrote the same output meanwhile.
        if (options.skipExisting)
            skipped = true;
        else
            error = OutputExists(output);
        break;
    case PendingOutput::Result::Replaced:
        error = "the output " + output + " was not published: " + reason;
        break;
    case PendingOutput::Result::Failed:
        FailOutput(strings::kOutputIncomplete, output, reason);
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
