#include "platform/pulse_connection.h"

#include <cstdint>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

namespace cantrix {

namespace {

constexpr const char* kClientName = "cantrix";
constexpr const char* kStreamName = "Playback";
// A server that accepts the connection but never answers must not hang the caller for long;
// a live local server answers within milliseconds.
constexpr pa_usec_t kConnectDeadline = 3 * PA_USEC_PER_SEC;
// The server-side buffer. Reset drops it at once, so it does not delay silence; it only sets how
// long the last bytes take to play out and how much scheduling delay playback survives.
constexpr pa_usec_t kTargetLatency = 200 * PA_USEC_PER_MSEC;

} // namespace

void PulseConnection::MainloopDeleter::operator()(pa_threaded_mainloop* loop) const
{
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

void PulseConnection::ContextDeleter::operator()(pa_context* context) const
{
    pa_context_disconnect(context);
    pa_context_unref(context);
}

void PulseConnection::StreamDeleter::operator()(pa_stream* stream) const
{
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

void PulseConnection::OperationDeleter::operator()(pa_operation* operation) const
{
    pa_operation_unref(operation);
}

PulseConnection::PulseConnection() = default;

PulseConnection::~PulseConnection()
{
    Close();
}

PulseConnection::Lock::Lock(PulseConnection& connection) : mainloop(connection.mainloop.get())
{
    pa_threaded_mainloop_lock(mainloop);
}

PulseConnection::Lock::~Lock()
{
    pa_threaded_mainloop_unlock(mainloop);
}

MmResult PulseConnection::Open(const pa_sample_spec& spec, const pa_channel_map& map, PulseListener& target)
{
    if (mainloop)
        return mmresult::kError;
    mainloop.reset(pa_threaded_mainloop_new());
    if (!mainloop)
        return mmresult::kNoMemory;
    listener = &target;
    timedOut = false;
    ready = false;
    failureReported = false;
    if (pa_threaded_mainloop_start(mainloop.get()) < 0) {
        Close();
        return mmresult::kError;
    }
    MmResult result;
    {
        Lock lock(*this);
        result = ConnectLocked(spec, map);
        if (result != mmresult::kNoError)
            DetachCallbacks();
    }
    if (result != mmresult::kNoError)
        Close();
    return result;
}

MmResult PulseConnection::ConnectLocked(const pa_sample_spec& spec, const pa_channel_map& map)
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop.get());
    context.reset(pa_context_new(api, kClientName));
    if (!context)
        return mmresult::kNoMemory;
    pa_context_set_state_callback(context.get(), &PulseConnection::OnContextState, this);
    // Never start a server of our own: no answer means no sound device.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return mmresult::kBadDeviceId;

    pa_time_event* deadline = pa_context_rttime_new(
        context.get(), pa_rtclock_now() + kConnectDeadline,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            auto* connection = static_cast<PulseConnection*>(self);
            connection->timedOut = true;
            pa_threaded_mainloop_signal(connection->mainloop.get(), 0);
        },
        this);
    const MmResult result = WaitForReadyLocked(false) ? OpenStreamLocked(spec, map) : mmresult::kBadDeviceId;
    if (deadline)
        api->time_free(deadline);
    return result;
}

MmResult PulseConnection::OpenStreamLocked(const pa_sample_spec& spec, const pa_channel_map& map)
{
    stream.reset(pa_stream_new(context.get(), kStreamName, &spec, &map));
    if (!stream)
        return mmresult::kError;
    pa_stream_set_state_callback(stream.get(), &PulseConnection::OnStreamState, this);
    pa_stream_set_write_callback(stream.get(), &PulseConnection::OnStreamWritable, this);
    constexpr auto kServerDefault = static_cast<std::uint32_t>(-1);
    pa_buffer_attr attributes;
    attributes.maxlength = kServerDefault;
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatency, &spec));
    attributes.prebuf = kServerDefault;
    attributes.minreq = kServerDefault;
    attributes.fragsize = kServerDefault;
    // The latency above is the whole way to the speaker, so the sink keeps no long buffer of its
    // own that would delay the end of playback.
    if (pa_stream_connect_playback(stream.get(), nullptr, &attributes, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0 ||
        !WaitForReadyLocked(true))
        return mmresult::kError;
    ready = true;
    return mmresult::kNoError;
}

bool PulseConnection::WaitForReadyLocked(bool streamStage)
{
    for (;;) {
        if (streamStage) {
            const pa_stream_state_t state = pa_stream_get_state(stream.get());
            if (state == PA_STREAM_READY)
                return true;
            if (!PA_STREAM_IS_GOOD(state))
                return false;
        } else {
            const pa_context_state_t state = pa_context_get_state(context.get());
            if (state == PA_CONTEXT_READY)
                return true;
            if (!PA_CONTEXT_IS_GOOD(state))
                return false;
        }
        if (timedOut)
            return false;
        pa_threaded_mainloop_wait(mainloop.get());
    }
}

void PulseConnection::DetachCallbacks()
{
    if (stream) {
        pa_stream_set_state_callback(stream.get(), nullptr, nullptr);
        pa_stream_set_write_callback(stream.get(), nullptr, nullptr);
    }
    if (context)
        pa_context_set_state_callback(context.get(), nullptr, nullptr);
    if (drainOperation)
        pa_operation_cancel(drainOperation.get());
    drainOperation.reset();
}

void PulseConnection::Close()
{
    if (!mainloop)
        return;
    {
        Lock lock(*this);
        DetachCallbacks();
    }
    // After the loop thread has been joined nothing runs concurrently, so the stream and the
    // context are released without the lock, in that order.
    pa_threaded_mainloop_stop(mainloop.get());
    stream.reset();
    context.reset();
    mainloop.reset();
    listener = nullptr;
}

std::size_t PulseConnection::WritableSize()
{
    if (!stream || pa_stream_get_state(stream.get()) != PA_STREAM_READY)
        return 0;
    const std::size_t size = pa_stream_writable_size(stream.get());
    return size == static_cast<std::size_t>(-1) ? 0 : size;
}

bool PulseConnection::Write(const void* data, std::size_t bytes)
{
    // No free callback: the stream copies the bytes, so the caller's buffer is free on return.
    return stream && pa_stream_write(stream.get(), data, bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0;
}

void PulseConnection::StartDrain()
{
    if (!stream || drainOperation)
        return;
    drainOperation.reset(pa_stream_drain(stream.get(), &PulseConnection::OnDrainDone, this));
}

void PulseConnection::CancelDrain()
{
    if (!drainOperation)
        return;
    pa_operation_cancel(drainOperation.get());
    drainOperation.reset();
}

void PulseConnection::Flush()
{
    if (!stream || pa_stream_get_state(stream.get()) != PA_STREAM_READY)
        return;
    OperationPtr operation(pa_stream_flush(stream.get(), &PulseConnection::OnOperationDone, this));
    // A failing server cancels its operations and reports through the state callbacks, which
    // wake this wait as well.
    while (operation && pa_operation_get_state(operation.get()) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(mainloop.get());
}

void PulseConnection::OnContextState(pa_context* context, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        connection->ReportFailure();
    pa_threaded_mainloop_signal(connection->mainloop.get(), 0);
}

void PulseConnection::OnStreamState(pa_stream* stream, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        connection->ReportFailure();
    pa_threaded_mainloop_signal(connection->mainloop.get(), 0);
}

void PulseConnection::ReportFailure()
{
    // Failures while connecting are Open's result; the listener hears only of a stream lost later.
    if (!ready || failureReported)
        return;
    failureReported = true;
    listener->OnFailed();
}

void PulseConnection::OnStreamWritable(pa_stream*, std::size_t, void* self)
{
    static_cast<PulseConnection*>(self)->listener->OnWritable();
}

void PulseConnection::OnDrainDone(pa_stream*, int, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    // A failed drain means the stream is going away; either way nothing more will play.
    connection->drainOperation.reset();
    connection->listener->OnDrained();
}

void PulseConnection::OnOperationDone(pa_stream*, int, void* self)
{
    pa_threaded_mainloop_signal(static_cast<PulseConnection*>(self)->mainloop.get(), 0);
}

} // namespace cantrix
