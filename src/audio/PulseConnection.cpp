#include "audio/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <stdexcept>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define VESK_THREAD_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VESK_THREAD_CHECKER 1
#endif
#endif

#ifdef VESK_THREAD_CHECKER
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace vesk {
namespace {

// The loop's lock as the thread checker should see it (a no-op in other builds). Callbacks
// cannot name their connection before they are ordered, so all loops share one key.
#ifdef VESK_THREAD_CHECKER
char threadCheckerKey;
#endif

void lockAcquired() {
#ifdef VESK_THREAD_CHECKER
    __tsan_acquire(&threadCheckerKey);
#endif
}

void lockReleasing() {
#ifdef VESK_THREAD_CHECKER
    __tsan_release(&threadCheckerKey);
#endif
}

struct Deadline {
    PulseConnection* connection = nullptr;
    bool passed = false;
};

void deadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* deadline = static_cast<Deadline*>(userdata);
    PulseConnection::CallbackScope scope;
    deadline->passed = true;
    deadline->connection->signal();
}

}  // namespace

std::shared_ptr<PulseConnection> PulseConnection::create() {
    return std::shared_ptr<PulseConnection>(new PulseConnection());
}

PulseConnection::PulseConnection() : mainloop_(pa_threaded_mainloop_new()) {
    if (!mainloop_ || pa_threaded_mainloop_start(mainloop_) < 0) {
        if (mainloop_) pa_threaded_mainloop_free(mainloop_);
        throw std::runtime_error("The sound server's event thread could not be started.");
    }
    pa_threaded_mainloop_set_name(mainloop_, "vesk-audio");
}

PulseConnection::~PulseConnection() {
    pa_threaded_mainloop_lock(mainloop_);
    readyWaiters_.clear();
    dropContext();
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

PulseConnection::Lock::Lock(const PulseConnection& connection) : connection_(connection) {
    pa_threaded_mainloop_lock(connection_.mainloop_);
    lockAcquired();
}

PulseConnection::Lock::~Lock() {
    lockReleasing();
    pa_threaded_mainloop_unlock(connection_.mainloop_);
}

PulseConnection::CallbackScope::CallbackScope() { lockAcquired(); }

PulseConnection::CallbackScope::~CallbackScope() { lockReleasing(); }

bool PulseConnection::isLoopThread() const { return pa_threaded_mainloop_in_thread(mainloop_) != 0; }

void PulseConnection::signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

void PulseConnection::dropContext() {
    if (!context_) return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

void PulseConnection::startConnecting() {
    dropContext();
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Project Vesk");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "local.projectvesk");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_), "Project Vesk", properties);
    pa_proplist_free(properties);
    if (!context_) return;
    pa_context_set_state_callback(context_, &PulseConnection::contextStateChanged, this);
    // Never start a server of our own: without one there is simply no sound.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) dropContext();
}

void PulseConnection::contextStateChanged(pa_context* context, void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    CallbackScope scope;
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            auto waiters = std::exchange(self->readyWaiters_, {});
            for (auto& waiter : waiters) waiter(context);
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED: self->readyWaiters_.clear(); break;
        default: break;
    }
    self->signal();
}

bool PulseConnection::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    if (done()) return true;
    Deadline deadline{this, false};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC);
    pa_time_event* timer = api->time_new(api, &when, &deadlinePassed, &deadline);
    while (!done() && !deadline.passed) {
        lockReleasing();
        pa_threaded_mainloop_wait(mainloop_);
        lockAcquired();
    }
    api->time_free(timer);
    return done();
}

pa_context* PulseConnection::readyContext(std::chrono::milliseconds timeout) {
    if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return context_;
    if (!context_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) startConnecting();
    if (!context_) return nullptr;
    const bool settled = waitUntil(
        [this] {
            return !context_ || pa_context_get_state(context_) == PA_CONTEXT_READY ||
                   !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
        },
        timeout);
    if (settled && context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return context_;
    return nullptr;
}

pa_context* PulseConnection::contextOrConnect(std::function<void(pa_context*)> onReady) {
    if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return context_;
    if (!context_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) startConnecting();
    if (context_ && onReady) readyWaiters_.push_back(std::move(onReady));
    return nullptr;
}

namespace {

struct ServerQuery {
    PulseConnection* connection = nullptr;
    bool serverDone = false;
    bool sourceDone = false;
    std::string defaultSource;
    InputFormat format;
};

void serverInfoArrived(pa_context*, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<ServerQuery*>(userdata);
    PulseConnection::CallbackScope scope;
    if (info && info->default_source_name) query->defaultSource = info->default_source_name;
    query->serverDone = true;
    query->connection->signal();
}

void sourceInfoArrived(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<ServerQuery*>(userdata);
    PulseConnection::CallbackScope scope;
    if (eol == 0 && info) {
        query->format.sourceName = info->name;
        query->format.sampleRate = info->sample_spec.rate;
        query->format.channelCount = info->sample_spec.channels;
        return;
    }
    query->sourceDone = true;
    query->connection->signal();
}

}  // namespace

InputFormat PulseConnection::defaultInputFormat(std::chrono::milliseconds timeout) {
    pa_context* context = readyContext(timeout);
    if (!context) return {};
    ServerQuery query;
    query.connection = this;
    // The operations keep `query` as their user data: cancel them before it goes away.
    pa_operation* operation = pa_context_get_server_info(context, &serverInfoArrived, &query);
    const bool answered = operation && waitUntil([&] { return query.serverDone; }, timeout);
    if (operation) {
        if (!answered) pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    if (!answered || query.defaultSource.empty()) return {};
    operation = pa_context_get_source_info_by_name(context, query.defaultSource.c_str(), &sourceInfoArrived, &query);
    const bool described = operation && waitUntil([&] { return query.sourceDone; }, timeout);
    if (operation) {
        if (!described) pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    if (!described) return {};
    return query.format;
}

}  // namespace vesk
