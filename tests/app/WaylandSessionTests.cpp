// The application in a Wayland session: a headless sway (no screen, no input devices)
// with XWayland, where our windows run as X clients. It starts, shows its console, names
// the session and what keyboard access needs there, and ends cleanly.

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A sway compositor on the headless backend for the life of the object, in a scratch
// directory of its own. sway refuses to run as root, so a root test runs it (and the
// programs under it) as "nobody".
class HeadlessSway {
public:
    HeadlessSway() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vesk-sway-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        root_ = pattern;
        std::filesystem::create_directories(runtime());
        std::filesystem::permissions(runtime(), std::filesystem::perms::owner_all);
        std::ofstream(root_ / "config") << "xwayland enable\n"
                                        << "exec sh -c 'echo $DISPLAY > " << (root_ / "display").string() << "'\n";
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody) return;
            uid_ = nobody->pw_uid;
            gid_ = nobody->pw_gid;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root_))
                [[maybe_unused]] const int owned = ::chown(entry.path().c_str(), uid_, gid_);
            [[maybe_unused]] const int owned = ::chown(root_.c_str(), uid_, gid_);
        }
        sway_ =
            spawn({"sway", "-c", (root_ / "config").string()},
                  {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"}, root_ / "sway.log");
        for (int i = 0; i < 200 && display().empty(); ++i) std::this_thread::sleep_for(50ms);
    }
    ~HeadlessSway() {
        stop(sway_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    bool running() const { return sway_ > 0 && !display().empty(); }
    std::string problem() const { return "sway did not start: " + readFile(root_ / "sway.log"); }
    std::filesystem::path runtime() const { return root_ / "run"; }
    std::string display() const {
        std::string value = readFile(root_ / "display");
        while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
        return value;
    }

    // Starts a program in the session (as the compositor's user), its output in `log`.
    pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extra,
                const std::filesystem::path& log) const {
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        if (gid_ && ::setgid(gid_) != 0) ::_exit(126);
        if (uid_ && ::setuid(uid_) != 0) ::_exit(126);
        std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "HOME=" + root_.string(),
                                                "XDG_RUNTIME_DIR=" + runtime().string(),
                                                "DBUS_SESSION_BUS_ADDRESS=disabled:"};
        if (!display().empty()) {
            environment.push_back("WAYLAND_DISPLAY=wayland-1");
            environment.push_back("DISPLAY=" + display());
        }
        environment.insert(environment.end(), extra.begin(), extra.end());
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(nullptr);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    // Runs a program in the session to its end; its exit status (-1 when it did not end
    // within `timeout`) and output.
    ProcessResult run(const std::vector<std::string>& arguments, std::chrono::seconds timeout = 30s) const {
        const auto log = root_ / ("run-" + std::to_string(++runs_) + ".log");
        const pid_t pid = spawn(arguments, {}, log);
        ProcessResult result;
        result.exitCode = waitFor(pid, timeout);
        result.out = readFile(log);
        return result;
    }
    // The exit status once `pid` ended, -1 when it did not within `timeout` (it is killed).
    static int waitFor(pid_t pid, std::chrono::milliseconds timeout) {
        int status = 0;
        for (auto waited = 0ms; waited < timeout; waited += 20ms) {
            if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            std::this_thread::sleep_for(20ms);
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    const std::filesystem::path& root() const { return root_; }

private:
    static void stop(pid_t pid) {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        waitFor(pid, 5s);
    }

    std::filesystem::path root_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    pid_t sway_ = -1;
    mutable int runs_ = 0;
};

TEST(WaylandSession, TheApplicationStartsItsConsoleThroughXWaylandAndNamesTheSession) {
    HeadlessSway sway;
    if (!sway.running()) failForMissingRig("headless sway", sway.problem());
    ASSERT_TRUE(sway.running());

    const ProcessResult doctor = sway.run({projectVeskExecutable(), "--doctor"});
    EXPECT_NE(doctor.out.find("desktop session: ok — Wayland (wayland-1), windows through XWayland"), std::string::npos)
        << doctor.out;
    // Keys on Wayland come from evdev and go out through uinput, whatever XWayland offers.
    const auto keyboard = doctor.out.find("keyboard access:");
    ASSERT_NE(keyboard, std::string::npos) << doctor.out;
    const std::string keyboardLine = doctor.out.substr(keyboard, doctor.out.find('\n', keyboard) - keyboard);
    EXPECT_NE(keyboardLine.find("/dev/input"), std::string::npos) << keyboardLine;
    EXPECT_EQ(keyboardLine.find("XInput2"), std::string::npos) << keyboardLine;

    const pid_t app = sway.spawn({projectVeskExecutable()}, {"QT_QPA_PLATFORM=xcb"}, sway.root() / "app.log");
    const auto sock = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(sway.runtime()))
            if (entry.path().filename().string().starts_with("sway-ipc")) return entry.path().string();
        return std::string();
    };
    std::string tree;
    for (int i = 0; i < 100; ++i) {
        tree = sway.run({"swaymsg", "-s", sock(), "-t", "get_tree"}).out;
        if (tree.find("\"name\": \"Project Vesk\"") != std::string::npos) break;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_NE(tree.find("\"name\": \"Project Vesk\""), std::string::npos)
        << "no console in the session: " << readFile(sway.root() / "app.log");
    EXPECT_NE(tree.find("\"shell\": \"xwayland\""), std::string::npos);
    const auto shot = std::filesystem::path(VESK_BINARY_DIR) / "test-artefacts" / "e2e-wayland-console.png";
    std::filesystem::create_directories(shot.parent_path());
    const auto inSession = sway.root() / "shot.png";
    EXPECT_EQ(sway.run({"grim", inSession.string()}).exitCode, 0);
    std::error_code ignored;
    std::filesystem::copy_file(inSession, shot, std::filesystem::copy_options::overwrite_existing, ignored);

    ::kill(app, SIGTERM);
    EXPECT_EQ(HeadlessSway::waitFor(app, 10s), 0) << readFile(sway.root() / "app.log");
}

}  // namespace
}  // namespace vesk::test
