#pragma once
// FormatReadout: what the input chooser's panel says about the file named in the dialog, for
// example "44100 Hz Stereo", found by a short-lived probe engine.
//
// Thread rules: the object lives on the user-interface thread, where Request, Text, IsPending and
// TextChanged are used. Each request probes on a pool thread, so a huge, slow or unreadable file
// never blocks the window. Requests are numbered; only the answer to the newest one is ever
// shown, whatever order the answers arrive in, and a request that a newer one overtakes before
// its probe has started is never probed at all.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace cantrix {

class FormatReadout : public QObject {
    Q_OBJECT

public:
    // Turns a path into the readout's text. Runs on a pool thread: it must touch no widget and
    // nothing that the user-interface thread changes.
    using Probe = std::function<QString(const QString& path)>;

    // Probes with ProbeFormat.
    explicit FormatReadout(QObject* parent = nullptr);
    FormatReadout(Probe probe, QObject* parent);
    // Does not wait for running probes; their answers are dropped.
    ~FormatReadout() override;

    // The text for a file that the converter does not accept, and the readout's first text.
    static QString UnsupportedText();
    // Asks a probe engine of the process's codec manager about `path`: its rate and channel mode
    // for a PCM RIFF/WAVE file (with the width for float samples: "44100 Hz Stereo 32-bit float"),
    // else UnsupportedText(). Reads the RIFF header only; anything but
    // a regular file (a folder, a FIFO, a device) is refused by the file layer without a read.
    static QString ProbeFormat(const QString& path);

    // Probes `path`; the text changes when the answer comes, unless a newer request came first.
    void Request(const QString& path);
    const QString& Text() const { return text; }
    // True from a request until the answer to the newest request has arrived.
    bool IsPending() const { return answered != requested; }

signals:
    void TextChanged(const QString& text);

private:
    struct Mailbox;

    void Deliver(quint64 ticket, const QString& answer);

    Probe probe;
    // Shared with the pool tasks, which outlive this object when their probe is slow.
    std::shared_ptr<Mailbox> mailbox;
    quint64 requested = 0;
    quint64 answered = 0;
    QString text;
};

} // namespace cantrix
