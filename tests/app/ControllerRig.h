#pragma once

// The dictation controller over doubles for every service, in a scratch home (so the
// learned store, dictionary, snippets and history are real files nobody else reads).

#include "app/AppDelegate.h"
#include "app/ControllerDoubles.h"
#include "app/RealServices.h"
#include "support/EventLoop.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

namespace vesk::test {

inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "tests_app";
    static char* argv[] = {name, nullptr};
    static const std::unique_ptr<QCoreApplication> application =
        QCoreApplication::instance() ? nullptr : std::make_unique<QCoreApplication>(argc, argv);
}

// What the recognizer double hears by default, as exact formatting writes it.
inline const std::string kSaid = "Go forward ten meters.";

// An uncertain word for the recognizer double to report.
inline ConfidenceIssue issue(const std::string& id, const std::string& heard) { return {id, heard, {}, 0.3, false}; }

class ControllerRig {
public:
    // `settings`: what the preferences double reads until the test changes it.
    explicit ControllerRig(ControllerSettings settings = {}) {
        ensureApplication();
        auto recorderDouble = std::make_unique<RecorderDouble>(journal, home.root() / "tmp");
        std::filesystem::create_directories(home.root() / "tmp");
        recorder = recorderDouble.get();
        services.recorder = std::move(recorderDouble);
        services.makeRecognizer = [this](const std::string& locale, std::shared_ptr<const DownloadObserver> downloads) {
            auto made = std::make_shared<RecognizerDouble>(journal, locale);
            made->downloads = std::move(downloads);
            recognizers.push_back(made);
            if (prepareRecognizer) prepareRecognizer(*made);
            return made;
        };
        rewriter = std::make_shared<RewriteDouble>();
        services.rewriter = rewriter;
        services.clipboard = own(clipboard, journal);
        services.inserter = own(inserter, journal);
        services.focus = own(focus, journal);
        services.sounds = own(sounds, journal);
        services.hud = own(hud, journal);
        services.tray = own(tray);
        services.keys = own(keys, journal);
        services.ambientMeter = own(meter);
        services.microphone = own(microphone);
        services.keyboard = own(keyboard);
        services.transforms = own(transforms);
        services.clock = own(clock);
        services.settings = own(preferences);
        preferences->values = std::move(settings);
        services.surfaces = own(surfaces);
        services.pasteDelay = std::chrono::milliseconds(20);
    }

    // Makes the controller: settings, history.json and the other files as the test left them.
    AppDelegate& start() {
        auto storage = std::make_unique<BackgroundHistoryStorage>(
            std::make_unique<HistoryStore>(home.supportDirectory() / "history.json"));
        history = storage.get();
        services.history = std::move(storage);
        app = std::make_unique<AppDelegate>(std::move(services));
        return *app;
    }

    RecognizerDouble& recognizer() { return *recognizers.back(); }

    // Presses the key and waits until the live recognizer was asked to start.
    void pressKey() {
        const size_t starts = journal.count("recognizer.startLive");
        keys->handlers.onStart();
        spinUntil([&] { return journal.count("recognizer.startLive") > starts; });
    }
    // Releases the key and waits until the dictation left `processing`.
    void releaseKey() {
        const size_t stops = journal.count("recorder.stop");
        keys->handlers.onStop();
        spinUntil([&] { return journal.count("recorder.stop") > stops; });
        EXPECT_TRUE(spinUntil([&] { return app->uiState() != UIState::processing; }));
    }
    void dictate() {
        pressKey();
        releaseKey();
    }
    // Waits for the delayed paste of `text`.
    bool waitForPaste(const std::string& text) {
        return spinUntil([&] { return journal.has("inserter.insert:" + text); });
    }
    std::string historyFile() {
        history->flush();
        return home.readSupportFile("history.json");
    }

    ScratchHome home;
    Journal journal;
    ControllerServices services;
    std::function<void(RecognizerDouble&)> prepareRecognizer;
    std::vector<std::shared_ptr<RecognizerDouble>> recognizers;
    RecorderDouble* recorder = nullptr;
    std::shared_ptr<RewriteDouble> rewriter;
    ClipboardDouble* clipboard = nullptr;
    PasterDouble* inserter = nullptr;
    FocusDouble* focus = nullptr;
    SoundsDouble* sounds = nullptr;
    HudDouble* hud = nullptr;
    TrayDouble* tray = nullptr;
    KeyMonitorDouble* keys = nullptr;
    LevelMeterDouble* meter = nullptr;
    MicrophoneDouble* microphone = nullptr;
    KeyboardTrustDouble* keyboard = nullptr;
    TransformsDouble* transforms = nullptr;
    ClockDouble* clock = nullptr;
    PreferencesDouble* preferences = nullptr;
    SurfacesDouble* surfaces = nullptr;
    BackgroundHistoryStorage* history = nullptr;
    std::unique_ptr<AppDelegate> app;

private:
    template <typename T, typename... Args>
    static std::unique_ptr<T> own(T*& raw, Args&... args) {
        auto made = std::make_unique<T>(args...);
        raw = made.get();
        return made;
    }
};

}  // namespace vesk::test
