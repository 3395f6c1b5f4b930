#include "ui/format_readout.h"

#include "audio/input_analysis.h"
#include "platform/riff_file.h"

#include <QFile>
#include <QMetaObject>
#include <QThreadPool>
#include <atomic>
#include <mutex>
#include <string>

namespace cantrix {

namespace {
constexpr unsigned kStereoChannels = 2;

// Held while work is handed over between the user-interface thread and the pool, either way, and
// taken by the receiving side before it reads anything it was given. Qt hands work over under
// locks of its own (the pool's queue, the event queue) that ThreadSanitizer cannot see; this one
// it can, so what was given is known to be written before it is read.
std::mutex handOver;

void TakeOver()
{
    const std::lock_guard taken(handOver);
}
} // namespace

// What the pool tasks share with the readout. `owner` is cleared, under the mutex, before the
// readout goes away, so a task never posts to a destroyed object; an answer already posted is
// discarded by Qt together with its receiver.
struct FormatReadout::Mailbox {
    std::mutex mutex;
    FormatReadout* owner = nullptr;
    // The newest ticket, read by tasks to skip requests that were overtaken while they waited.
    std::atomic<quint64> newest{0};
};

FormatReadout::FormatReadout(QObject* parent) : FormatReadout(&FormatReadout::ProbeFormat, parent)
{
}

FormatReadout::FormatReadout(Probe probe, QObject* parent)
    : QObject(parent), probe(std::move(probe)), mailbox(std::make_shared<Mailbox>()), text(UnsupportedText())
{
    mailbox->owner = this;
}

FormatReadout::~FormatReadout()
{
    const std::lock_guard lock(mailbox->mutex);
    mailbox->owner = nullptr;
}

QString FormatReadout::UnsupportedText()
{
    return QStringLiteral("Unsupported (need plain PCM input data)");
}

QString FormatReadout::ProbeFormat(const QString& path)
{
    // The core takes the file system's own bytes, so no name is mangled on the way.
    const std::string nativePath = QFile::encodeName(path).toStdString();
    RiffFile file;
    if (file.Open(nativePath, OpenMode::Read) != mmresult::kNoError)
        return UnsupportedText();
    const InputAnalysis analysis = AnalyzeWave(file);
    if (!analysis.input)
        return UnsupportedText();
    const WAVEFORMATEX& format = analysis.input->format;
    const QString text =
        QStringLiteral("%1 Hz %2")
            .arg(format.nSamplesPerSec)
            .arg(format.nChannels == kStereoChannels ? QStringLiteral("Stereo") : QStringLiteral("Mono"));
    // Integer samples are what the readout has always meant; float ones are named.
    if (format.wFormatTag == kWaveFormatIeeeFloat)
        return text + QStringLiteral(" %1-bit float").arg(format.wBitsPerSample);
    return text;
}

void FormatReadout::Request(const QString& path)
{
    const quint64 ticket = ++requested;
    mailbox->newest.store(ticket);
    const std::lock_guard handingOver(handOver);
    QThreadPool::globalInstance()->start([mailbox = mailbox, probe = probe, path, ticket] {
        TakeOver();
        if (mailbox->newest.load() != ticket)
            return;
        const QString answer = probe(path);
        const std::lock_guard lock(mailbox->mutex);
        FormatReadout* owner = mailbox->owner;
        if (owner == nullptr)
            return;
        const std::lock_guard handingBack(handOver);
        QMetaObject::invokeMethod(
            owner,
            [owner, ticket, answer] {
                TakeOver();
                owner->Deliver(ticket, answer);
            },
            Qt::QueuedConnection);
    });
}

void FormatReadout::Deliver(quint64 ticket, const QString& answer)
{
    if (ticket != requested)
        return;
    answered = ticket;
    if (answer == text)
        return;
    text = answer;
    emit TextChanged(text);
}

} // namespace cantrix
