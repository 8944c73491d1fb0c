#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;

namespace vesk {

// What the sound server reports about its default input: the source to open and its own
// sample rate and channel count. A rate of 0 or no channels means there is no usable input.
struct InputFormat {
    std::string sourceName;
    double sampleRate = 0;
    uint32_t channelCount = 0;

    bool usable() const { return sampleRate > 0 && channelCount > 0; }
};

// One connection to the sound server with the client library's own event thread. The
// recorder, the ambient meter and the sounds share it. The thread runs for the life of the
// object; the server connection is made on demand and made again after the server went
// away. Calls into the client library happen with the loop locked (`Lock`); callbacks run
// on the loop thread with the lock already held.
class PulseConnection {
public:
    static std::shared_ptr<PulseConnection> create();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    class Lock {
    public:
        explicit Lock(const PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        const PulseConnection& connection_;
    };

    // Marks a callback from the client library: it runs on the loop thread with the lock
    // held. Declared first in every callback so that the thread checker, which cannot see
    // into the library, knows the callback is ordered with the lock's other holders.
    class CallbackScope {
    public:
        CallbackScope();
        ~CallbackScope();
        CallbackScope(const CallbackScope&) = delete;
        CallbackScope& operator=(const CallbackScope&) = delete;
    };

    // With the lock held: a ready context, connecting (and waiting up to `timeout`) when
    // there is none; nullptr when the server cannot be reached.
    pa_context* readyContext(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    // With the lock held: the context if it is ready now, otherwise nullptr after starting
    // a connection in the background. `onReady` runs on the loop thread once it is ready
    // (or never, when the connection fails). Never waits.
    pa_context* contextOrConnect(std::function<void(pa_context*)> onReady);

    // With the lock held: waits on the loop until `done()` holds or `timeout` passes.
    // Returns done(). Callbacks that change what `done` reads must call `signal()`.
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void signal();

    // With the lock held: the server's default source and its format; an unusable format
    // when there is no server or no default source.
    InputFormat defaultInputFormat(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    bool isLoopThread() const;

private:
    PulseConnection();
    void startConnecting();
    void dropContext();
    static void contextStateChanged(pa_context* context, void* userdata);

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    std::vector<std::function<void(pa_context*)>> readyWaiters_;
};

}  // namespace vesk
