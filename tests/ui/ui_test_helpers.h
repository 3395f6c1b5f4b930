#pragma once
// Helpers the widget tests share: a watcher that answers modal windows, and a codec driver whose
// first conversion call waits at a gate the test opens.
#include "support/fake_codec_driver.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_THREAD__)
// Qt's libraries are not built with ThreadSanitizer, so the hand-offs inside them (their own
// futex locks, the thread pool that converts images while painting) look like races. This flag
// makes the intercepted calls that come from uninstrumented code (allocation, freeing and memory
// copies inside Qt) check nothing, while they still count as synchronisation; every access that
// our own code makes is still checked. Each test executable includes this header once.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace cantrix::test {

// Runs `drive` on the modal window of type T once it is on the screen.
template <typename T> void WhenModalShows(std::function<void(T&)> drive)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, drive] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal == nullptr || !modal->isVisible())
            return;
        poll->deleteLater();
        drive(*modal);
    });
    poll->start(0);
}

// What a modal window showed when it appeared.
struct SeenModal {
    QString className;
    QString title;
    QString text; // a message box's text
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// While it lives, answers every modal window that opens: records it and runs `answer` on it, or
// rejects it when there is no answer. It polls, so it also reaches windows that run their own
// modal loop.
class ModalWatcher : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;

    explicit ModalWatcher(Answer answer = {}) : answer(std::move(answer))
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this] { Poll(); });
        timer.start();
    }

    const std::vector<SeenModal>& Seen() const { return seen; }

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        for (const QPointer<QWidget>& done : handled) {
            if (done == modal)
                return;
        }
        handled.push_back(modal);
        SeenModal record{QString::fromUtf8(modal->metaObject()->className()), modal->windowTitle(), {}, {}};
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            record.text = box->text();
            record.icon = box->icon();
        }
        seen.push_back(record);
        if (answer)
            answer(modal);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    }

    Answer answer;
    QTimer timer;
    std::vector<QPointer<QWidget>> handled;
    std::vector<SeenModal> seen;
};

// Holds a conversion at its first codec call until the test opens it.
class Gate {
public:
    // Worker side: reports its arrival and waits until the gate is open.
    void Pass()
    {
        std::unique_lock lock(mutex);
        arrived = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
    }
    // Test side: true once a worker waits at the gate (false after a minute without one).
    bool WaitArrived()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::minutes(1), [this] { return arrived; });
    }
    void Open()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool arrived = false;
    bool open = false;
};

// A fake codec (see FakeCodecDriver) whose streams stop at `gate` before their first conversion.
class GatedCodecDriver : public CodecDriver {
public:
    GatedCodecDriver(FakeDriverConfig config, std::shared_ptr<Gate> gate)
        : inner(std::move(config)), gate(std::move(gate))
    {
    }

    MmResult Details(ACMDRIVERDETAILS& details) override { return inner.Details(details); }
    MmResult About(DriverAboutHost* host) override { return inner.About(host); }
    std::uint32_t MaxFormatSize() override { return inner.MaxFormatSize(); }
    MmResult ConvertibleFormats(const WAVEFORMATEX& source, std::uint16_t formatTag,
                                std::vector<OfferedFormat>& formats) override
    {
        return inner.ConvertibleFormats(source, formatTag, formats);
    }
    MmResult OpenStream(const WAVEFORMATEX& source, const unsigned char* destination,
                        std::size_t destinationSize, std::unique_ptr<CodecStream>& stream) override
    {
        std::unique_ptr<CodecStream> opened;
        const MmResult result = inner.OpenStream(source, destination, destinationSize, opened);
        if (result == mmresult::kNoError)
            stream = std::make_unique<GatedStream>(std::move(opened), gate);
        return result;
    }

private:
    class GatedStream : public CodecStream {
    public:
        GatedStream(std::unique_ptr<CodecStream> inner, std::shared_ptr<Gate> gate)
            : inner(std::move(inner)), gate(std::move(gate))
        {
        }
        MmResult OutputSize(std::uint32_t sourceBytes, std::uint32_t& outputBytes) override
        {
            return inner->OutputSize(sourceBytes, outputBytes);
        }
        MmResult Convert(ACMSTREAMHEADER& header, std::uint32_t flags) override
        {
            if (first) {
                first = false;
                gate->Pass();
            }
            return inner->Convert(header, flags);
        }

    private:
        std::unique_ptr<CodecStream> inner;
        std::shared_ptr<Gate> gate;
        bool first = true;
    };

    FakeCodecDriver inner;
    std::shared_ptr<Gate> gate;
};

} // namespace cantrix::test
