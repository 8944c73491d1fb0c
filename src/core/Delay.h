#pragma once

#include <QCoro/QCoroTask>
#include <QCoro/QCoroTimer>
#include <QTimer>

#include <chrono>

namespace vesk {

// Suspends the calling coroutine for at least `duration` while the event loop keeps
// running. A coarse timer may fire a little early; the clipboard waits promise whole
// intervals.
inline QCoro::Task<> sleepAtLeast(std::chrono::milliseconds duration) {
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}

}  // namespace vesk
