#include "ApplicationRig.h"

#include "core/Settings.h"
#include "support/EventLoop.h"

#include <nlohmann/json.hpp>

#include <QProcessEnvironment>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace vesk::bench {
namespace {

using namespace std::chrono_literals;

struct ClassHint {
    std::string instance;
    std::string name;
};

ClassHint classOf(Display* display, Window window) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) return {};
    ClassHint out{hint.res_name ? hint.res_name : "", hint.res_class ? hint.res_class : ""};
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return out;
}

// Visits `window` and everything below it, depth first, until `visit` returns true.
bool walk(Display* display, Window window, const std::function<bool(Window)>& visit) {
    if (visit(window)) return true;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
    const std::vector<Window> below(children, children + count);
    if (children) XFree(children);
    for (const Window child : below)
        if (walk(display, child, visit)) return true;
    return false;
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

nlohmann::json readHistory(const std::filesystem::path& path) {
    const nlohmann::json entries = nlohmann::json::parse(readText(path), nullptr, false);
    return entries.is_array() ? entries : nlohmann::json::array();
}

}  // namespace

void run(const std::string& program, const std::vector<std::string>& arguments) {
    const test::ProcessResult result = test::runProcess(program, arguments, 10);
    if (result.exitCode != 0)
        throw RigUnavailable(program + " failed (exit " + std::to_string(result.exitCode) + "): " + result.err);
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

ApplicationRig::ApplicationRig() {
    desktop_ = std::make_unique<test::VirtualDesktop>();
    if (!desktop_->isRunning()) throw RigUnavailable("The virtual X desktop did not start: " + desktop_->problem());
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No session bus on the headless desktop; naming none keeps libdbus from starting one.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    qt_ = std::make_unique<QApplication>(argc_, argv_);
    home_ = std::make_unique<test::ScratchHome>();
    microphone_ = std::make_unique<test::VirtualMicrophone>();
    if (!microphone_->running())
        throw RigUnavailable("The virtual microphone did not start: " + microphone_->unavailableReason());
    if (test::goForwardRecording().empty())
        throw RigUnavailable("The recording goforward.raw is missing (Debian's pocketsphinx test data).");
    server_ = std::make_unique<test::ScriptedModelServer>();
    server_->setModels({"scripted"});
    display_ = x11::openDisplay();
    if (!display_) throw RigUnavailable("No connection to the virtual X display " + desktop_->display() + ".");

    Settings::setString("speechEngine", "pocketsphinx");
    Settings::setString("rewriteEndpoint", server_->endpoint());
    Settings::setString("rewriteModel", "scripted");
    Settings::setSaveHistory(true);
    Settings::setOutputMode(OutputMode::exact);
    Settings::setBoolean("autoPaste", true);

    trayHost_.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "request",
                                               "--height", "24", "--transparent", "false", "--tint", "0x202020"});
    if (!trayHost_.waitForStarted(5000)) throw RigUnavailable("The tray host trayer did not start.");
    Display* x = display_.get();
    test::spinUntil(
        [&] {
            walk(x, DefaultRootWindow(x), [&](Window window) {
                const ClassHint hint = classOf(x, window);
                if (hint.instance != "panel" || hint.name != "trayer") return false;
                trayPanel_ = window;
                return true;
            });
            return trayPanel_ != 0;
        },
        10s);
    if (!trayPanel_) throw RigUnavailable("The tray host trayer never showed its panel.");
}

ApplicationRig::~ApplicationRig() {
    if (trayHost_.state() != QProcess::NotRunning) {
        trayHost_.kill();
        trayHost_.waitForFinished(2000);
    }
}

bool ApplicationRig::trayHoldsIconOf(pid_t pid) const {
    Display* x = display_.get();
    // A window may vanish between two requests; that is an answer of "no", not an error.
    x11::ErrorTrap trap(x);
    return walk(x, trayPanel_, [&](Window window) {
        if (window == trayPanel_ || classOf(x, window).name != "ProjectVesk") return false;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(x, window, &attributes) || attributes.map_state != IsViewable) return false;
        return x11::describeWindow(x, window).pid == pid;
    });
}

const ApplicationRig::StoredEntry& ApplicationRig::newestEntry() {
    const auto file = home_->supportDirectory() / "history.json";
    std::error_code error;
    const auto stamp = std::filesystem::last_write_time(file, error);
    if (error) return newest_;
    const auto size = std::filesystem::file_size(file, error);
    if (error || (stamp == historyStamp_ && size == historySize_)) return newest_;
    historyStamp_ = stamp;
    historySize_ = size;
    const nlohmann::json entries = readHistory(file);
    if (!entries.empty()) newest_ = {entries.front().value("id", ""), entries.front().value("renderedText", "")};
    return newest_;
}

std::vector<unsigned long> ApplicationRig::visibleWindows(const std::string& pattern) {
    const test::ProcessResult found = test::runProcess("xdotool", {"search", "--onlyvisible", "--name", pattern}, 10);
    std::vector<unsigned long> windows;
    std::istringstream lines(found.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) windows.push_back(std::stoul(line));
    return windows;
}

RunningApplication::RunningApplication(const ApplicationRig& rig) {
    const auto runtime = rig.home().root() / "run";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("projectvesk.info=true"));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(&process_, &QProcess::readyReadStandardError, [this] {
        std::istringstream lines(process_.readAllStandardError().toStdString());
        for (std::string line; std::getline(lines, line);) {
            log_.push_back(line);
            if (log_.size() > 30) log_.pop_front();
        }
    });
    started_ = Clock::now();
    process_.start(QString::fromStdString(test::projectVeskExecutable()), {});
    if (!process_.waitForStarted(5000))
        throw RigUnavailable("ProjectVesk did not start: " + process_.errorString().toStdString());
}

RunningApplication::~RunningApplication() { stop(); }

void RunningApplication::awaitConsole(std::chrono::seconds timeout) {
    if (!test::spinUntil([] { return !ApplicationRig::visibleWindows("^Project Vesk$").empty(); }, timeout))
        throw RigUnavailable("The console of ProjectVesk never came up. Its log:\n" + recentLog());
}

long RunningApplication::residentKilobytes() const {
    std::ifstream status("/proc/" + std::to_string(pid()) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return 0;
}

bool RunningApplication::stop() {
    if (process_.state() == QProcess::NotRunning) return true;
    process_.terminate();
    if (process_.waitForFinished(10000))
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    process_.kill();
    process_.waitForFinished(2000);
    return false;
}

std::string RunningApplication::recentLog() const {
    std::string text;
    for (const std::string& line : log_) text += "  " + line + "\n";
    return text;
}

}  // namespace vesk::bench
