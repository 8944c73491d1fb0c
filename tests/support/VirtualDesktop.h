#pragma once

#include <sys/types.h>
#include <string>

namespace vesk::test {

// A headless X desktop for the life of the object: Xvfb on a free display number and
// openbox as the window manager (focus, EWMH). DISPLAY points at it meanwhile and is put
// back afterwards. Safe to run in parallel test processes.
class VirtualDesktop {
public:
    VirtualDesktop();
    ~VirtualDesktop();
    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    // False when Xvfb or openbox could not start; `problem()` says why, and the test
    // constructing it has already failed.
    bool isRunning() const { return running_; }
    const std::string& problem() const { return problem_; }
    const std::string& display() const { return display_; }

private:
    void start();
    void stop();

    bool running_ = false;
    std::string problem_;
    std::string display_;
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    bool hadDisplay_ = false;
    std::string savedDisplay_;
};

}  // namespace vesk::test
