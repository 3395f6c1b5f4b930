#pragma once
// One playback stream on the sound server (PulseAudio, or PipeWire through its PulseAudio
// service), with the threaded main loop that serves it.
//
// Thread rules: Open, Close and Lock are called by the owner's thread, never from a listener
// call. The main loop thread calls the listener with the lock held. Every other operation needs
// the lock: either the owner holds a Lock, or the call comes from inside a listener call.
#include "platform/mm_result.h"

#include <cstddef>
#include <memory>

struct pa_sample_spec;
struct pa_channel_map;
struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_operation;

namespace cantrix {

// What the stream reports back, always on the main loop thread with the lock held.
class PulseListener {
public:
    virtual void OnWritable() = 0;
    // The drain started by StartDrain has completed: everything written has been played.
    virtual void OnDrained() = 0;
    // The server or the stream has gone away; nothing more will play.
    virtual void OnFailed() = 0;

protected:
    ~PulseListener() = default;
};

class PulseConnection {
public:
    PulseConnection();
    // Closes the stream and stops the main loop thread.
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects to the server and opens a playback stream on its default sink. Returns kNoError,
    // kBadDeviceId when no server answers, kError when the server refuses the stream. Fails at
    // once when no server listens, and within a few seconds when one listens but does not answer.
    // The listener must outlive the connection.
    MmResult Open(const pa_sample_spec& spec, const pa_channel_map& map, PulseListener& listener);
    // Drops the stream and joins the main loop thread; no listener call runs after it returns.
    void Close();
    bool IsOpen() const { return mainloop != nullptr; }

    class Lock {
    public:
        explicit Lock(PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop;
    };

    // Bytes the server takes now without blocking; 0 when the stream is not playing.
    std::size_t WritableSize();
    // Copies `bytes` (whole frames) into the stream; false when the stream refused them.
    bool Write(const void* data, std::size_t bytes);
    // Asks the server to report (OnDrained) once everything written has been played.
    void StartDrain();
    bool IsDraining() const { return drainOperation != nullptr; }
    // Forgets a running drain: OnDrained will not be called for it.
    void CancelDrain();
    // Drops everything the server still holds for the stream and waits until it has done so.
    // Needs the owner's Lock (it waits on the main loop).
    void Flush();

private:
    struct MainloopDeleter {
        void operator()(pa_threaded_mainloop* loop) const;
    };
    struct ContextDeleter {
        void operator()(pa_context* context) const;
    };
    struct StreamDeleter {
        void operator()(pa_stream* stream) const;
    };
    struct OperationDeleter {
        void operator()(pa_operation* operation) const;
    };
    using OperationPtr = std::unique_ptr<pa_operation, OperationDeleter>;

    MmResult ConnectLocked(const pa_sample_spec& spec, const pa_channel_map& map);
    MmResult OpenStreamLocked(const pa_sample_spec& spec, const pa_channel_map& map);
    bool WaitForReadyLocked(bool streamStage);
    void DetachCallbacks();
    void ReportFailure();

    static void OnContextState(pa_context* context, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnStreamWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void OnDrainDone(pa_stream* stream, int success, void* self);
    static void OnOperationDone(pa_stream* stream, int success, void* self);

    // Destroyed in reverse order: the stream before its context, the context before the loop.
    std::unique_ptr<pa_threaded_mainloop, MainloopDeleter> mainloop;
    std::unique_ptr<pa_context, ContextDeleter> context;
    std::unique_ptr<pa_stream, StreamDeleter> stream;
    OperationPtr drainOperation;
    PulseListener* listener = nullptr;
    // Written by the connection deadline timer, read while waiting for the server; both under the
    // lock.
    bool timedOut = false;
    // Set once the stream plays; from then on a lost server is reported to the listener, once.
    bool ready = false;
    bool failureReported = false;
};

} // namespace cantrix
