#pragma once

#include <chrono>
#include <functional>

namespace vesk::test {

// Runs the calling thread's event loop for `duration`.
void spinFor(std::chrono::milliseconds duration);
// Runs the event loop until `done` holds (true) or `timeout` passes (false).
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace vesk::test
