#pragma once

#include "audio/AudioBuffer.h"

namespace vesk {

// Watches what one capture source (the recorder, the ambient meter) hears, from the source's
// capture tap. The source holds its observer shared, so the observer outlives every call.
//
// For each run of the source: `sourceStarted` on the controlling thread before the first
// buffer, `consume` for every buffer, one call at a time, then `sourceStopped` on the
// controlling thread once the last `consume` has returned. A start that fails gets no stop.
class AudioBufferObserver {
public:
    virtual ~AudioBufferObserver() = default;

    virtual void sourceStarted() = 0;
    // On the capture thread; the recorder's last, shorter buffer comes on the thread that
    // stops it. Must return at once: a short lock at most, never a wait for slower work. The
    // buffer is the capture's own and is valid only during the call.
    virtual void consume(const AudioBuffer& buffer) = 0;
    virtual void sourceStopped() = 0;
};

}  // namespace vesk
