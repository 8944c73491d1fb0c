#pragma once

#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"
#include "support/VirtualDesktop.h"
#include "support/VirtualMicrophone.h"
#include "system/DesktopFixture.h"
#include "system/X11Support.h"

#include <QApplication>
#include <QProcess>

#include <sys/types.h>
#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace vesk::bench {

using Clock = std::chrono::steady_clock;

// Raised when a piece of the desktop the measurements need cannot start; the message is a
// sentence naming the piece and why.
class RigUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything a person's desktop gives `ProjectVesk`, made up for one measuring run: Xvfb
// with openbox and a `trayer` tray host, a QApplication of our own on that display, a
// scratch home, the private sound server whose microphone plays recordings, and the
// scripted model server. Settings start as a person's exact-mode setup with pasting and
// history on. Main thread only; the constructor throws RigUnavailable.
class ApplicationRig {
public:
    ApplicationRig();
    ~ApplicationRig();
    ApplicationRig(const ApplicationRig&) = delete;
    ApplicationRig& operator=(const ApplicationRig&) = delete;

    const test::ScratchHome& home() const { return *home_; }
    const test::VirtualMicrophone& microphone() const { return *microphone_; }
    Display* display() const { return display_.get(); }

    // The tray host's icon area, found once at start.
    unsigned long trayPanel() const { return trayPanel_; }
    // Whether the tray holds a mapped icon window of the process `pid` (WM_CLASS
    // "ProjectVesk" below the tray's panel).
    bool trayHoldsIconOf(pid_t pid) const;

    // The newest entry of the stored history (empty strings without one); the file is read
    // again only when it changed. The count stays at the store's limit once full, so a new
    // dictation shows as a new id.
    struct StoredEntry {
        std::string id;
        std::string renderedText;
    };
    const StoredEntry& newestEntry();

    // The visible top-level windows whose title matches `pattern` (a regular expression).
    static std::vector<unsigned long> visibleWindows(const std::string& pattern);

private:
    std::unique_ptr<test::VirtualDesktop> desktop_;
    int argc_ = 1;
    char name_[32] = "vesk_measure_application";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> qt_;
    std::unique_ptr<test::ScratchHome> home_;
    std::unique_ptr<test::VirtualMicrophone> microphone_;
    std::unique_ptr<test::ScriptedModelServer> server_;
    x11::DisplayHandle display_;
    QProcess trayHost_;
    unsigned long trayPanel_ = 0;

    std::filesystem::file_time_type historyStamp_{};
    std::uintmax_t historySize_ = 0;
    StoredEntry newest_;
};

// One `ProjectVesk` process started without arguments, as a desktop session starts it; it
// is asked to end (SIGTERM) when this object goes. Its standard error is kept (the last
// lines) for messages on failure.
class RunningApplication {
public:
    // Starts the process and returns at once; `started()` says when.
    explicit RunningApplication(const ApplicationRig& rig);
    ~RunningApplication();
    RunningApplication(const RunningApplication&) = delete;
    RunningApplication& operator=(const RunningApplication&) = delete;

    Clock::time_point started() const { return started_; }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool running() const { return process_.state() == QProcess::Running; }
    // Waits for the console window; throws RigUnavailable when it never comes.
    void awaitConsole(std::chrono::seconds timeout);
    // VmRSS from /proc in kB; 0 when it cannot be read.
    long residentKilobytes() const;
    // Ends the process with SIGTERM; false when it did not end cleanly in time.
    bool stop();
    std::string recentLog() const;

private:
    QProcess process_;
    Clock::time_point started_;
    std::deque<std::string> log_;
};

// Runs a program without a shell and throws RigUnavailable when it fails.
void run(const std::string& program, const std::vector<std::string>& arguments);

double millisecondsSince(Clock::time_point start);

}  // namespace vesk::bench
