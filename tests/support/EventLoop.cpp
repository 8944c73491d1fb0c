#include "support/EventLoop.h"

#include <QEventLoop>
#include <QTimer>

namespace vesk::test {

void spinFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        spinFor(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace vesk::test
