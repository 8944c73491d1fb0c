// The lifecycle and settings rules over doubles: the tray icon and its throttle, visual
// frames, the ambient meter policy, permissions, the voice profile and the setters.

#include "app/ControllerRig.h"
#include "app/LifecycleSettings.h"
#include "core/Uuid.h"
#include "rewriting/VoiceProfile.h"
#include "system/Autostart.h"

#include <fstream>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

WaveformFrame frameOf(float sample) {
    WaveformFrame frame;
    frame.full.fill(sample);
    return frame;
}

TEST(LifecycleSettings, ForcedIconUpdatesAlwaysDrawUnforcedOnesAtMostFifteenTimesASecond) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    struct Step {
        double advance;
        bool force;
        size_t icons;
    };
    const Step steps[] = {{0, true, 1}, {0.01, true, 2}, {0.01, false, 2}, {0.06, false, 3}, {0.03, false, 3}};
    for (const Step& step : steps) {
        rig.clock->now += step.advance;
        app.updateIcon(step.force);
        EXPECT_EQ(rig.tray->icons.size(), step.icons);
    }
}

TEST(LifecycleSettings, TheIconIsTintedAndTitledByState) {
    ControllerRig rig;
    rig.recognizers.clear();
    AppDelegate& app = rig.start();
    const std::tuple<UIState, QColor, QString> rows[] = {
        {UIState::idle, QColor(), "Project Vesk · listening"},
        {UIState::recording, QColor(0xFF, 0x95, 0x00), "Project Vesk · recording"},
        {UIState::processing, QColor(0xAF, 0x52, 0xDE), "Project Vesk · processing"},
        {UIState::ready, QColor(0x34, 0xC7, 0x59), "Project Vesk · result ready"},
    };
    for (const auto& [state, tint, tooltip] : rows) {
        app.setUIState(state);
        app.updateIcon(true);
        EXPECT_EQ(rig.tray->icons.back().tint, tint);
        EXPECT_EQ(rig.tray->icons.back().tooltip, tooltip);
        EXPECT_FALSE(rig.tray->icons.back().image.isNull());
    }
}

TEST(LifecycleSettings, WithoutATrayIconUpdatesDoNothing) {
    ControllerRig rig;
    rig.services.tray.reset();
    AppDelegate& app = rig.start();
    app.updateIcon(true);
    app.updateAudioVisualFrame(0.5f, frameOf(0.5f), "ambient");
    EXPECT_EQ(app.audioVisual().snapshot().level, 0.5f);
}

TEST(LifecycleSettings, ASilentRecorderFrameKeepsTheIconsWaveform) {
    struct Row {
        const char* source;
        float level;
        float sample;
        float kept;
    };
    const Row rows[] = {
        {"recording", 0.0f, 0.0f, 0.3f},  // silent recorder frame: ignored
        {"ambient", 0.0f, 0.0f, 0.0f},    // silent ambient frame: replaces
        {"recording", 0.1f, 0.0f, 0.0f},  // a level is not silence
        {"recording", 0.0f, 0.2f, 0.2f},
    };
    for (const Row& row : rows) {
        ControllerRig rig;
        AppDelegate& app = rig.start();
        app.updateAudioVisualFrame(0.3f, frameOf(0.3f), "ambient");
        app.updateAudioVisualFrame(row.level, frameOf(row.sample), row.source);
        EXPECT_EQ(app.lifecycle().menuBarWaveform().front(), row.kept) << row.source << row.level << row.sample;
        EXPECT_EQ(app.audioVisual().snapshot().level, row.level);
    }
}

TEST(LifecycleSettings, TheAmbientMeterRunsOnlyWhileSomethingShowsIt) {
    struct Row {
        bool authorized, window, popover, recording;
        bool starts;
    };
    const Row rows[] = {
        {true, true, false, false, true},  {true, false, true, false, true}, {true, false, false, false, false},
        {false, true, true, false, false}, {true, true, true, true, false},
    };
    for (const Row& row : rows) {
        ControllerRig rig;
        rig.microphone->authorized = row.authorized;
        rig.surfaces->mainWindowVisible = row.window;
        rig.surfaces->popoverShown = row.popover;
        AppDelegate& app = rig.start();
        app.refreshPermissions();
        if (row.recording) rig.pressKey();
        const int before = rig.meter->starts;
        app.startAmbientMeterIfPossible();
        EXPECT_EQ(rig.meter->starts > before, row.starts);
    }
}

TEST(LifecycleSettings, ClosingSurfacesStopsTheMeterOnlyWhenNothingElseShowsIt) {
    ControllerRig rig;
    rig.surfaces->popoverShown = true;
    AppDelegate& app = rig.start();
    app.mainWindowWillClose();
    EXPECT_EQ(rig.meter->stops, 0);
    rig.surfaces->popoverShown = false;
    rig.surfaces->mainWindowVisible = true;
    app.popoverDidClose();
    EXPECT_EQ(rig.meter->stops, 0);
    rig.surfaces->mainWindowVisible = false;
    app.popoverDidClose();
    EXPECT_EQ(rig.meter->stops, 1);
    rig.meter->failure = Error(kErrorDomain, 2, "No microphone.");
    rig.surfaces->popoverShown = true;
    app.refreshPermissions();
    app.popoverDidShow();  // a failed start is only logged
    EXPECT_FALSE(rig.meter->running);
}

TEST(LifecycleSettings, LaunchWiresEverythingAndAsksForTheMicrophone) {
    ControllerRig rig;
    rig.keyboard->trusted = true;
    AppDelegate& app = rig.start();
    app.applicationDidFinishLaunching();
    spinUntil([&] { return rig.journal.has("recognizer.ensureModelInstalled"); });
    EXPECT_TRUE(app.axTrusted());
    EXPECT_TRUE(app.micAuthorized());
    EXPECT_EQ(rig.surfaces->presented, 1);
    EXPECT_TRUE(rig.meter->running);
    EXPECT_TRUE(rig.transforms->monitoring);
    rig.transforms->onStatus("Polishing…");
    EXPECT_EQ(app.transformStatus(), "Polishing…");
    rig.transforms->onError("The selection could not be copied.");
    EXPECT_EQ(app.lastError(), "The selection could not be copied.");
    app.applicationWillTerminate();
    EXPECT_FALSE(rig.meter->running);
}

TEST(LifecycleSettings, KeyboardAccessGrantedLaterRestartsTheKeyMonitor) {
    ControllerRig rig;
    rig.keyboard->trusted = false;
    AppDelegate& app = rig.start();
    app.refreshPermissions();
    EXPECT_EQ(rig.journal.count("keys.startMonitoring"), 0u);
    rig.keyboard->trusted = true;
    app.refreshPermissions();
    app.refreshPermissions();
    EXPECT_EQ(rig.journal.count("keys.startMonitoring"), 1u);
}

// `count` stored entries of `words` words each.
std::string historyOf(int count, int words) {
    std::vector<HistoryEntry> entries;
    for (int i = 0; i < count; ++i) {
        std::string transcript;
        for (int w = 0; w < words; ++w) transcript += "word ";
        entries.push_back({makeUuid(), transcript, transcript, 1000.0 - i, std::nullopt, OutputMode::exact});
    }
    return encodeHistory(entries);
}

TEST(LifecycleSettings, TheVoiceProfileIsMadeFromEnoughNewWords) {
    struct Row {
        const char* name;
        int words;
        std::optional<long> savedAt;
        bool force;
        bool asks;
    };
    const Row rows[] = {
        {"79 words, forced", 79, std::nullopt, true, false}, {"80 words, none saved", 80, std::nullopt, false, true},
        {"249 new words", 349, 100, false, false},           {"250 new words", 350, 100, false, true},
        {"forced regardless", 100, 100, true, true},
    };
    for (const Row& row : rows) {
        ControllerRig rig;
        rig.home.writeSupportFile("history.json", historyOf(1, row.words));
        if (row.savedAt) VoiceProfileStore::save({"Old Title", "", *row.savedAt});
        rig.rewriter->replies.push_back({"Title: Word Smith\nStyle: Says word a lot."});
        AppDelegate& app = rig.start();
        app.refreshVoiceProfileIfDue(row.force);
        spinFor(20ms);
        EXPECT_EQ(rig.rewriter->calls.size(), row.asks ? 1u : 0u) << row.name;
        if (row.asks) {
            EXPECT_EQ(app.voiceProfile(), (VoiceProfile{"Word Smith", "Says word a lot.", row.words}));
        }
    }
}

TEST(LifecycleSettings, TurningHistoryOnStoresTheRecentEntriesNewestFirst) {
    ControllerRig rig;
    rig.home.writeSupportFile("history.json", historyOf(40, 1));
    rig.preferences->values.outputMode = OutputMode::exact;
    AppDelegate& app = rig.start();
    for (int i = 0; i < 20; ++i) rig.dictate();
    app.clearReadyPrompt();
    EXPECT_EQ(app.entries().size(), 40u);
    app.setSaveHistory(true);
    EXPECT_TRUE(rig.preferences->values.saveHistory);
    const std::vector<HistoryEntry> stored = app.entries();
    ASSERT_EQ(stored.size(), HistoryStore::limit);
    EXPECT_EQ(std::vector(stored.begin(), stored.begin() + 20), app.recentEntries());
    EXPECT_EQ(decodeHistory(rig.historyFile())->size(), HistoryStore::limit);
    app.setSaveHistory(false);
    EXPECT_EQ(app.entries().size(), HistoryStore::limit);  // turning it off deletes nothing
}

TEST(LifecycleSettings, SettersWriteThroughAndReachTheirServices) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    int changes = 0;
    for (auto signal : {&AppModel::hotkeyChanged, &AppModel::localeIDChanged, &AppModel::autoPasteChanged,
                        &AppModel::autoCopyChanged})
        QObject::connect(&app, signal, [&] { ++changes; });
    app.setHotkey(Hotkey::rightOption);
    app.setLocale("de-DE");
    app.setAutoPaste(true);
    app.setAutoCopy(true);
    app.setAutoCopy(true);  // no change, no signal
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(rig.keys->hotkey, Hotkey::rightOption);
    EXPECT_EQ(rig.preferences->values.hotkey, Hotkey::rightOption);
    EXPECT_EQ(rig.preferences->values.locale, "de-DE");
    EXPECT_EQ(rig.recognizers.back()->locale, "de-DE");
    EXPECT_EQ(app.recognizer(), rig.recognizers.back());
    EXPECT_TRUE(app.autoPaste() && app.autoCopy());
    app.quit();
    EXPECT_TRUE(rig.surfaces->quit);
}

TEST(LifecycleSettings, StartAtLoginWritesTheAutostartEntryForThisProgram) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    int changes = 0;
    QObject::connect(&app, &AppModel::startAtLoginChanged, [&] { ++changes; });
    EXPECT_EQ(app.startAtLogin(), false);
    app.setStartAtLogin(true);
    EXPECT_EQ(app.startAtLogin(), true);
    std::ifstream file(Autostart::entryPath());
    const std::string entry{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(entry.find("Exec=" + std::filesystem::read_symlink("/proc/self/exe").string()), std::string::npos)
        << entry;
    app.setStartAtLogin(false);
    EXPECT_FALSE(std::filesystem::exists(Autostart::entryPath()));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(app.lastError(), std::nullopt);
}

}  // namespace
}  // namespace vesk::test
