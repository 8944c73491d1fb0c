#include "support/VirtualDesktop.h"

#include "support/TestEnvironment.h"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace vesk::test {
namespace {

pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Keep the test's own output clean.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int status = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

void terminate(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool hasRootProperty(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, DefaultRootWindow(display), atom, 0, 1, False, AnyPropertyType,
                                          &type, &format, &count, &remaining, &data) == Success &&
                       count >= 1;
    if (data) XFree(data);
    return found;
}

// openbox announces itself (_NET_SUPPORTING_WM_CHECK) before it manages windows; the
// work area comes once its start-up is done. A window mapped earlier may never get focus.
bool windowManagerReady(Display* display) {
    return hasRootProperty(display, "_NET_SUPPORTING_WM_CHECK") && hasRootProperty(display, "_NET_WORKAREA");
}

}  // namespace

VirtualDesktop::VirtualDesktop() {
    start();
    if (!running_) failForMissingRig("virtual X desktop", problem_);
}

void VirtualDesktop::start() {
    if (const char* old = std::getenv("DISPLAY")) {
        hadDisplay_ = true;
        savedDisplay_ = old;
    }
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        problem_ = "cannot create a pipe";
        return;
    }
    // The write end must reach Xvfb, which prints its display number there when ready.
    ::fcntl(pipe[1], F_SETFD, 0);
    server_ = spawn(
        {"Xvfb", "-displayfd", std::to_string(pipe[1]), "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"});
    ::close(pipe[1]);
    if (server_ < 0) {
        ::close(pipe[0]);
        problem_ = "Xvfb is not installed";
        return;
    }
    std::string number;
    for (;;) {
        pollfd ready{pipe[0], POLLIN, 0};
        if (::poll(&ready, 1, 10'000) <= 0) break;
        char c = 0;
        if (::read(pipe[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(pipe[0]);
    if (number.empty()) {
        problem_ = "Xvfb did not start";
        stop();
        return;
    }
    display_ = ":" + number;
    ::setenv("DISPLAY", display_.c_str(), 1);

    windowManager_ = spawn({"openbox", "--sm-disable"});
    Display* connection = XOpenDisplay(display_.c_str());
    bool managed = false;
    for (int i = 0; connection && windowManager_ > 0 && i < 500 && !managed; ++i) {
        managed = windowManagerReady(connection);
        if (!managed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (connection) XCloseDisplay(connection);
    if (!managed) {
        problem_ = "openbox did not take over the display";
        stop();
        return;
    }
    running_ = true;
}

VirtualDesktop::~VirtualDesktop() { stop(); }

void VirtualDesktop::stop() {
    terminate(windowManager_);
    terminate(server_);
    if (hadDisplay_)
        ::setenv("DISPLAY", savedDisplay_.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
    running_ = false;
}

}  // namespace vesk::test
