// The real application on a headless desktop, driven the way a person drives it: Xvfb with
// openbox and a tray host, the private sound server whose microphone plays recordings, the
// scripted model server, and the paste-target window. `ProjectVesk` runs as a process of
// its own with a scratch home; keys go through XTest; what is checked is what a person
// would see: the text in the target window, the HUD on screen, the files the application
// keeps, the clipboard. Screenshots of each step go to <build>/test-artefacts.

#include "core/Settings.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"
#include "support/VirtualMicrophone.h"
#include "system/DesktopFixture.h"

#include <nlohmann/json.hpp>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <sys/stat.h>

#include <csignal>
#include <iostream>
#include <sstream>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kGoForward = "/usr/share/pocketsphinx/test/data/goforward.raw";
constexpr const char* kExactText = "Go forward ten meters.";
constexpr const char* kOwnClipboard = "the person's own clipboard";

// The visible top-level windows whose title matches `pattern` (a regular expression).
std::vector<unsigned long> visibleWindows(const std::string& pattern) {
    const ProcessResult found = runProcess("xdotool", {"search", "--onlyvisible", "--name", pattern}, 10);
    std::vector<unsigned long> windows;
    std::istringstream lines(found.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) windows.push_back(std::stoul(line));
    return windows;
}

QRect windowGeometry(unsigned long window) {
    const ProcessResult shell = runProcess("xdotool", {"getwindowgeometry", "--shell", std::to_string(window)}, 10);
    std::map<std::string, int> values;
    std::istringstream lines(shell.out);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
    }
    return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
}

// The HUD's frame while it is on screen; empty when it is not.
QRect hudGeometry() {
    const auto windows = visibleWindows("^Project Vesk HUD$");
    return windows.empty() ? QRect() : windowGeometry(windows.front());
}

void screenshot(const std::string& name) {
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const auto folder = std::filesystem::path(VESK_BINARY_DIR) / "test-artefacts";
    std::filesystem::create_directories(folder);
    image.save(QString::fromStdString((folder / ("e2e-" + name + ".png")).string()));
}

// A second, independent instance: the person's own sound server and home are never used.
class Application : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (HasFatalFailure()) return;
        // Made once the test's own application object exists.
        rig = std::make_unique<Rig>();
        ASSERT_TRUE(rig->microphone.running()) << rig->microphone.unavailableReason();
        std::filesystem::create_directories(runtime());
        std::filesystem::permissions(runtime(), std::filesystem::perms::owner_all);
        rig->server.setModels({"scripted"});
        Settings::setString("speechEngine", "pocketsphinx");
        Settings::setString("rewriteEndpoint", rig->server.endpoint());
        Settings::setString("rewriteModel", "scripted");
        Settings::setSaveHistory(true);
        Settings::setOutputMode(OutputMode::exact);
        Settings::setBoolean("autoPaste", true);
        trayHost.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "request",
                                                  "--height", "24", "--transparent", "false", "--tint", "0x202020"});
        ASSERT_TRUE(trayHost.waitForStarted(5000)) << "trayer did not start";
    }

    void TearDown() override {
        if (!rig) return;
        if (app.state() == QProcess::Running) {
            app.terminate();
            EXPECT_TRUE(app.waitForFinished(10000)) << "the application did not end on SIGTERM";
            EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(app.exitCode(), 0) << log();
        }
        EXPECT_EQ(recordingsLeft(), std::vector<std::string>{});
        trayHost.kill();
        trayHost.waitForFinished(2000);
    }

    std::filesystem::path runtime() const { return rig->home.root() / "run"; }

    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime().string()));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("projectvesk.info=true"));
        return environment;
    }

    // Starts the application and waits for its console; the target window then takes focus.
    void launch() {
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start(QString::fromStdString(projectVeskExecutable()), {});
        ASSERT_TRUE(app.waitForStarted(5000));
        ASSERT_TRUE(spinUntil([] { return !visibleWindows("^Project Vesk$").empty(); }, 20s))
            << "the console never came up: " << log();
        target = std::make_unique<TargetWindow>();
        ASSERT_TRUE(target->isReady()) << target->problem();
        target->request("activate");
        spinFor(300ms);
        rig->clipboard.setText(kOwnClipboard);
    }

    std::string log() {
        errors += app.readAllStandardError().toStdString();
        return errors;
    }

    std::vector<std::string> recordingsLeft() const {
        std::vector<std::string> left;
        for (const auto& folder : {rig->home.root() / "tmp", runtime()}) {
            std::error_code error;
            for (const auto& file : std::filesystem::directory_iterator(folder, error))
                if (file.path().filename().string().starts_with("project-vesk-")) left.push_back(file.path().string());
        }
        return left;
    }

    nlohmann::json history() const {
        const std::string text = rig->home.readSupportFile("history.json");
        return text.empty() ? nlohmann::json::array() : nlohmann::json::parse(text, nullptr, false);
    }

    // Holds the dictation key while the microphone plays goforward; returns the HUD's frame
    // seen while recording.
    QRect dictate(const std::string& step) {
        xdotool({"keydown", "Control_R"});
        QRect recording;
        EXPECT_TRUE(spinUntil([&] { return !(recording = hudGeometry()).isEmpty(); }, 5s)) << "no HUD while recording";
        spinFor(300ms);
        screenshot(step + "-recording");
        EXPECT_TRUE(rig->microphone.playRaw(kGoForward, 16000));
        spinFor(300ms);
        xdotool({"keyup", "Control_R"});
        return recording;
    }

    size_t historyCount() const {
        const nlohmann::json entries = history();
        return entries.is_array() ? entries.size() : 0;
    }

    // Waits for the dictation to be stored and returns its entry.
    nlohmann::json awaitEntry(size_t count) {
        EXPECT_TRUE(spinUntil([&] { return historyCount() >= count; }, 30s)) << "no history entry: " << log();
        const nlohmann::json entries = history();
        return entries.is_array() && !entries.empty() ? entries.front() : nlohmann::json::object();
    }

    struct Rig {
        ScratchHome home;
        VirtualMicrophone microphone;
        ScriptedModelServer server;
        QtClipboard clipboard;
    };
    std::unique_ptr<Rig> rig;
    QProcess trayHost;
    QProcess app;
    std::string errors;
    std::unique_ptr<TargetWindow> target;
};

TEST_F(Application, ExactDictationLandsInTheFocusedWindowOrWaitsForReview) {
    ASSERT_NO_FATAL_FAILURE(launch());
    const QRect recording = dictate("1-exact");
    // Compact while recording: a short strip at the top of the screen.
    EXPECT_LE(recording.height(), 40);
    EXPECT_LE(recording.width(), 200);
    QRect expanded;
    EXPECT_TRUE(spinUntil([&] { return (expanded = hudGeometry()).height() > 60; }, 30s)) << "the HUD never expanded";
    const nlohmann::json entry = awaitEntry(1);
    const std::string rendered = entry.value("renderedText", "");
    EXPECT_NE(rendered.find("forward"), std::string::npos) << rendered;
    EXPECT_EQ(entry.value("outputMode", ""), "verbatim");  // the stored name of exact

    // Either pasted (nothing flagged) or held for review in the console.
    const bool pasted = target->waitForText(rendered, 3s);
    screenshot("1-exact-result");
    if (pasted) {
        EXPECT_EQ(rendered, kExactText);
    } else {
        EXPECT_EQ(target->text(), "") << "a result that waits for review was pasted";
        EXPECT_FALSE(visibleWindows("^Project Vesk$").empty());
    }
    spinFor(700ms);
    EXPECT_EQ(rig->clipboard.text(), kOwnClipboard);
    EXPECT_EQ(rig->server.chatRequests().size(), 0u) << "exact mode asked the model";
}

TEST_F(Application, PromptModeDeliversTheModelsAnswer) {
    Settings::setOutputMode(OutputMode::prompt);
    const std::string answer = "Goal: go forward ten meters.";
    rig->server.setFallbackChatReply(ScriptedReply::answer(answer));
    ASSERT_NO_FATAL_FAILURE(launch());
    dictate("2-prompt");
    const nlohmann::json entry = awaitEntry(1);
    screenshot("2-prompt-result");
    EXPECT_EQ(entry.value("renderedText", ""), answer);
    EXPECT_EQ(entry.value("outputMode", ""), "aiReady");  // the stored name of prompt
    const auto requests = rig->server.chatRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_NE(requests.front().systemMessage.find("strong prompt"), std::string::npos)
        << requests.front().systemMessage;
}

TEST_F(Application, DoubleTapRecordsHandsFreeUntilTheNextTap) {
    ASSERT_NO_FATAL_FAILURE(launch());
    xdotool({"key", "Control_R"});
    spinFor(120ms);
    xdotool({"key", "Control_R"});
    ASSERT_TRUE(spinUntil([] { return !hudGeometry().isEmpty(); }, 5s)) << "the double tap started nothing";
    // The second press started the recording that stays on: speak a moment later, as a person does.
    spinFor(800ms);
    ASSERT_TRUE(rig->microphone.playRaw(kGoForward, 16000));
    spinFor(300ms);
    EXPECT_EQ(historyCount(), 0u) << "hands-free recording ended with the key's release";
    screenshot("3-hands-free");
    xdotool({"key", "Control_R"});
    const nlohmann::json entry = awaitEntry(1);
    EXPECT_NE(entry.value("transcript", "").find("forward"), std::string::npos) << entry.dump() << log();
}

TEST_F(Application, AltOneRewritesTheSelectionInPlace) {
    rig->server.setFallbackChatReply(ScriptedReply::answer("This is a polished sentence."));
    ASSERT_NO_FATAL_FAILURE(launch());
    target->select("this are a sentence");
    spinFor(200ms);
    xdotool({"key", "alt+1"});
    EXPECT_TRUE(target->waitForText("This is a polished sentence.", 15s)) << target->latestText() << log();
    screenshot("5-transform");
    spinFor(700ms);
    EXPECT_EQ(rig->clipboard.text(), kOwnClipboard);
}

TEST_F(Application, ModelServerStoppedMidRunDeliversTheExactText) {
    Settings::setOutputMode(OutputMode::prompt);
    rig->server.setFallbackChatReply(ScriptedReply::answer("Goal: go forward ten meters."));
    ASSERT_NO_FATAL_FAILURE(launch());
    rig->server.stop();
    dictate("6-server-stopped");
    const nlohmann::json entry = awaitEntry(1);
    screenshot("6-server-stopped-result");
    const std::string rendered = entry.value("renderedText", "");
    EXPECT_NE(rendered.find("forward"), std::string::npos) << rendered;
    EXPECT_NE(rendered, "Goal: go forward ten meters.");
}

TEST_F(Application, NextDictationWorksAfterTheSoundServerRestarted) {
    ASSERT_NO_FATAL_FAILURE(launch());
    rig->microphone.killServer();
    spinFor(500ms);
    ASSERT_TRUE(rig->microphone.restartServer()) << rig->microphone.unavailableReason();
    spinFor(500ms);
    dictate("6-sound-restarted");
    const nlohmann::json entry = awaitEntry(1);
    EXPECT_NE(entry.value("transcript", "").find("forward"), std::string::npos) << entry.dump() << log();
}

TEST_F(Application, SecondStartShowsTheRunningConsoleAndEnds) {
    ASSERT_NO_FATAL_FAILURE(launch());
    const unsigned long console = visibleWindows("^Project Vesk$").front();
    // Closed the way a person closes it: through the window manager.
    xdotool({"windowactivate", "--sync", std::to_string(console), "key", "alt+F4"});
    ASSERT_TRUE(spinUntil([] { return visibleWindows("^Project Vesk$").empty(); }, 5s)) << "the console stayed";

    QProcess second;
    second.setProcessEnvironment(environment());
    second.start(QString::fromStdString(projectVeskExecutable()), {});
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second start kept running";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(spinUntil([] { return !visibleWindows("^Project Vesk$").empty(); }, 5s))
        << "the running console did not come back";
    screenshot("6-second-start");
    EXPECT_EQ(app.state(), QProcess::Running);
}

TEST_F(Application, StaleSocketFromACrashedRunDoesNotBlockTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(launch());
    app.kill();
    app.waitForFinished(5000);
    ASSERT_TRUE(std::filesystem::exists(runtime() / "ProjectVesk.socket")) << "no socket was left to test with";
    app.start(QString::fromStdString(projectVeskExecutable()), {});
    ASSERT_TRUE(app.waitForStarted(5000));
    EXPECT_FALSE(app.waitForFinished(3000)) << "the start after a crash ended: " << log();
    EXPECT_EQ(app.state(), QProcess::Running);
}

TEST_F(Application, UncertainWordWaitsAndAChoiceTeachesTheLearnedWords) {
    ASSERT_NO_FATAL_FAILURE(launch());
    // PocketSphinx is often unsure of "ten meters" in this recording, not always: dictate
    // again, as a person would, until a result waits for review instead of being pasted.
    std::string rendered;
    std::string before;
    bool waiting = false;
    for (size_t attempt = 1; attempt <= 5 && !waiting; ++attempt) {
        before = target->text();
        dictate("4-review");
        rendered = awaitEntry(attempt).value("renderedText", "");
        waiting = !target->waitForText(before + rendered, 2s);
    }
    ASSERT_TRUE(waiting) << "no word was uncertain in five dictations";
    EXPECT_EQ(target->text(), before) << "a result that waits for review was pasted";
    const auto consoles = visibleWindows("^Project Vesk$");
    ASSERT_FALSE(consoles.empty());
    const QRect console = windowGeometry(consoles.front());
    screenshot("4-review-word-check");
    // The first alternative's button, where the console (1120 x 556, centred) lays it out.
    xdotool({"mousemove", std::to_string(console.x() + 795), std::to_string(console.y() + 251), "click", "1"});
    std::string corrected;
    EXPECT_TRUE(spinUntil(
        [&] {
            corrected = history().front().value("renderedText", "");
            return corrected != rendered;
        },
        5s))
        << "choosing the alternative changed nothing";
    const std::string learned = rig->home.readSupportFile("learned.json");
    const nlohmann::json words = nlohmann::json::parse(learned, nullptr, false);
    EXPECT_FALSE(words.is_discarded() || words.empty()) << "learned.json: " << learned;
    screenshot("4-review-chosen");
}

TEST_F(Application, QuitFromTheTraysQuickPanelEndsTheApplication) {
    ASSERT_NO_FATAL_FAILURE(launch());
    // The tray host sits at the top right; ours is its only icon.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect panel;
    const auto quickPanel = [&] {
        for (const unsigned long window : visibleWindows("^Project Vesk$"))
            if (const QRect frame = windowGeometry(window); frame.size() == QSize(386, 277)) return frame;
        return QRect();
    };
    ASSERT_TRUE(spinUntil(
        [&] {
            xdotool({"mousemove", std::to_string(screen.right() - 12), "12", "click", "1"});
            return spinUntil([&] { return !(panel = quickPanel()).isEmpty(); }, 1s);
        },
        10s))
        << "no quick panel from the tray icon";
    screenshot("quit-quick-panel");
    // The power button, bottom right.
    xdotool({"mousemove", std::to_string(panel.x() + 354), std::to_string(panel.y() + 248), "click", "1"});
    ASSERT_TRUE(app.waitForFinished(10000)) << "the application did not end";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << log();
    EXPECT_FALSE(std::filesystem::exists(runtime() / "ProjectVesk.socket"));
}

TEST_F(Application, InterruptedWhileRecordingItEndsCleanlyAndLeavesNoRecording) {
    ASSERT_NO_FATAL_FAILURE(launch());
    xdotool({"keydown", "Control_R"});
    ASSERT_TRUE(spinUntil([] { return !hudGeometry().isEmpty(); }, 5s)) << "no recording began";
    spinFor(500ms);
    EXPECT_FALSE(recordingsLeft().empty()) << "nothing was being recorded";
    ::kill(static_cast<pid_t>(app.processId()), SIGINT);
    ASSERT_TRUE(app.waitForFinished(10000)) << "SIGINT did not end the application";
    xdotool({"keyup", "Control_R"});
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << log();
    EXPECT_EQ(recordingsLeft(), std::vector<std::string>{});
    EXPECT_EQ(historyCount(), 0u);
}

// The README's first command ends with scripts/run-app; without a desktop session it runs
// the application on a headless desktop of its own and checks it.
TEST(RunApp, WithoutADesktopSessionItRunsTheApplicationOnAHeadlessOneAndEndsIt) {
    ScratchHome home;
    const ProcessResult run = runProcess(
        "env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", VESK_SOURCE_DIR "/scripts/run-app", VESK_BINARY_DIR}, 60);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("its console came up"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("its icon is in the tray"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("ended cleanly"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace vesk::test
