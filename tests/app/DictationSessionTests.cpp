// The dictation session over doubles: start, stop and cancel in every state, the live
// path and its stale results, and the fallbacks of whole-file recognition.

#include "app/ControllerRig.h"
#include "app/DictationSession.h"
#include "speech/Transcriber.h"

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

TEST(DictationSession, OneDictationRunsFromKeyToPasteInOrder) {
    ControllerRig rig({.outputMode = OutputMode::exact, .autoPaste = true});
    rig.home.writeSupportFile("learned.json", R"({"corrections":[],"terms":["Kubernetes"]})");
    AppDelegate& app = rig.start();

    rig.pressKey();
    EXPECT_EQ(app.uiState(), UIState::recording);
    EXPECT_EQ(rig.recognizer().liveBiasTerms, std::vector<std::string>{"Kubernetes"});
    const std::filesystem::path file = rig.recorder->file;
    rig.releaseKey();
    ASSERT_TRUE(rig.waitForPaste(kSaid));

    const std::vector<std::string> order(
        {"hud.showRecording", "focus.capture", "sound.Pop", "recorder.start", "recognizer.startLive", "hud.hide",
         "hud.showProcessing", "recorder.stop", "recognizer.finishLive", "recognizer.transcribeDetailed",
         "hud.showResult:" + kSaid + "|Pasted", "focus.bringToFront:Editor", "inserter.insert:" + kSaid, "sound.Tink"});
    EXPECT_EQ(rig.journal.only(order), order);
    EXPECT_EQ(app.uiState(), UIState::idle);
    EXPECT_TRUE(rig.recognizer().fileExistedWhenTranscribed);
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(app.recentEntries().size(), 1u);
    EXPECT_EQ(app.recentEntries()[0].transcript, kSaid);
    EXPECT_EQ(app.recentEntries()[0].outputMode, OutputMode::exact);
    EXPECT_EQ(app.promptDraft(), "");  // the pasted result was cleared
    EXPECT_FALSE(app.lastError());
}

TEST(DictationSession, TheRecordingFaceShowsAtKeyDownExceptForFn) {
    for (const auto& [key, shown] :
         {std::pair{Hotkey::rightControl, true}, std::pair{Hotkey::rightOption, true}, std::pair{Hotkey::fn, false}}) {
        ControllerRig rig({.hotkey = key});
        rig.start();
        rig.pressKey();
        EXPECT_EQ(rig.journal.has("hud.showRecording"), shown) << storedValue(key);
    }
}

TEST(DictationSession, StartIsRefusedWhileRecordingOrProcessing) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.pressKey();
    rig.keys->handlers.onStart();
    spinFor(20ms);
    EXPECT_EQ(rig.journal.count("recorder.start"), 1u);

    rig.recognizer().closeGate();  // the whole-file recognition waits
    rig.keys->handlers.onStop();
    spinUntil([&] { return rig.journal.has("recognizer.transcribeDetailed"); });
    ASSERT_EQ(app.uiState(), UIState::processing);
    rig.keys->handlers.onStart();
    spinFor(20ms);
    EXPECT_EQ(rig.journal.count("recorder.start"), 1u);
    EXPECT_EQ(app.uiState(), UIState::processing);
    rig.recognizer().openGate();
    spinUntil([&] { return app.uiState() != UIState::processing; });
    EXPECT_EQ(app.uiState(), UIState::ready);
}

TEST(DictationSession, AStartWhileReadyDiscardsTheReadyResult) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.dictate();
    ASSERT_EQ(app.uiState(), UIState::ready);
    ASSERT_FALSE(app.promptDraft().empty());

    rig.pressKey();
    EXPECT_EQ(app.uiState(), UIState::recording);
    EXPECT_EQ(app.promptDraft(), "");
    EXPECT_FALSE(app.currentAssessment());
    EXPECT_EQ(app.transcriptModel().snapshot(), (LiveTranscriptModel::Snapshot{"", ""}));
    EXPECT_EQ(app.recentEntries().size(), 1u);  // the result itself stays in the list
}

TEST(DictationSession, AStopWithNothingRecordingReturnsToIdle) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.keys->handlers.onStop();
    spinUntil([&] { return rig.journal.has("recognizer.cancelLive"); });
    const std::vector<std::string> order(
        {"hud.hide", "hud.showProcessing", "recorder.stop", "hud.hide", "recognizer.cancelLive"});
    EXPECT_EQ(rig.journal.only(order), order);
    EXPECT_EQ(app.uiState(), UIState::idle);
    EXPECT_FALSE(rig.journal.has("recognizer.transcribeDetailed"));
}

TEST(DictationSession, CancelAbandonsTheRecordingInEveryState) {
    for (const bool wasReady : {false, true}) {
        ControllerRig rig;
        AppDelegate& app = rig.start();
        if (wasReady) rig.dictate();
        rig.pressKey();
        rig.recognizer().sendCaption("go", "for");
        spinUntil([&] { return !app.transcriptModel().snapshot().finalized.isEmpty(); });
        rig.keys->handlers.onCancel();
        spinUntil([&] { return rig.journal.has("recognizer.cancelLive"); });
        EXPECT_EQ(app.uiState(), UIState::idle);
        EXPECT_TRUE(rig.journal.has("recorder.cancel"));
        EXPECT_EQ(app.transcriptModel().snapshot(), (LiveTranscriptModel::Snapshot{"", ""}));
        EXPECT_TRUE(app.confidenceIssues().empty());
        spinFor(30ms);
        EXPECT_EQ(rig.journal.count("recognizer.transcribeDetailed"), wasReady ? 1u : 0u);
        // A late caption of the cancelled recording goes nowhere.
        rig.recognizer().sendCaption("late", "");
        spinFor(20ms);
        EXPECT_EQ(app.transcriptModel().snapshot(), (LiveTranscriptModel::Snapshot{"", ""}));
    }
}

TEST(DictationSession, LiveCaptionsLandOnlyWhileTheirRecordingIsCurrent) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.recognizers.front()->closeGate();
    rig.pressKey();
    rig.recognizer().openGate();
    rig.recognizer().sendCaption("go forward", "ten");
    ASSERT_TRUE(spinUntil([&] { return app.transcriptModel().snapshot().finalized == "go forward"; }));
    EXPECT_EQ(app.transcriptModel().snapshot().provisional, "ten");

    rig.recognizer().closeGate();  // the processing's recognizer calls wait on this
    rig.keys->handlers.onStop();
    spinUntil([&] { return rig.journal.has("recorder.stop"); });
    rig.recognizer().sendCaption("stale", "caption");
    spinFor(20ms);
    EXPECT_EQ(app.transcriptModel().snapshot().finalized, "go forward");
    rig.recognizer().openGate();
    spinUntil([&] { return app.uiState() != UIState::processing; });
}

TEST(DictationSession, AStopWhileTheLiveRecognizerStartsCancelsItAndStillRecognizesTheFile) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.recognizers.front()->closeGate();
    rig.pressKey();
    rig.recorder->stream->push(AudioBuffer{});
    rig.keys->handlers.onStop();
    spinUntil([&] { return rig.journal.has("recorder.stop"); });
    rig.recognizer().openGate();
    ASSERT_TRUE(spinUntil([&] { return rig.journal.has("recognizer.cancelLive"); }));
    spinUntil([&] { return app.uiState() != UIState::processing; });
    EXPECT_TRUE(rig.journal.has("recognizer.transcribeDetailed"));
    EXPECT_EQ(rig.recognizer().streamed.load(), 0);  // no live audio task was made
    EXPECT_EQ(app.uiState(), UIState::ready);
}

TEST(DictationSession, LiveFeedingAndOverrunLeaveTheDecisionToTheWholeFile) {
    struct Row {
        const char* name;
        bool overrun;
        std::optional<int> failAfter;
        bool finishCalled;
        std::optional<std::string> error;
    };
    const Row rows[] = {
        {"clean live path", false, std::nullopt, true, std::nullopt},
        {"recorder overran", true, std::nullopt, false, std::nullopt},
        {"feeding failed", false, 1, true, "Live transcription paused: The live feed broke."},
    };
    for (const Row& row : rows) {
        ControllerRig rig({.outputMode = OutputMode::exact});
        rig.prepareRecognizer = [&](RecognizerDouble& r) { r.streamFailureAfter = row.failAfter; };
        AppDelegate& app = rig.start();
        rig.pressKey();
        for (int i = 0; i < 3; ++i) rig.recorder->stream->push(AudioBuffer{});
        spinUntil([&] { return rig.recognizer().streamed.load() >= 2; });
        rig.recorder->overrun = row.overrun;
        rig.releaseKey();
        EXPECT_EQ(rig.journal.has("recognizer.finishLive"), row.finishCalled) << row.name;
        EXPECT_EQ(rig.journal.has("recognizer.cancelLive"), row.overrun) << row.name;
        EXPECT_TRUE(rig.journal.has("recognizer.transcribeDetailed")) << row.name;
        EXPECT_EQ(app.lastError(), row.error) << row.name;
        EXPECT_EQ(app.promptDraft(), kSaid) << row.name;
    }
}

// What recognition returns decides between a draft and a sentence for the person: a failed
// whole file falls back to usable live text, and text without words is no dictation.
TEST(DictationSession, RecognitionResultsBecomeADraftOrAnError) {
    struct Row {
        const char* name;
        std::string recognized;
        std::optional<std::string> liveText;
        bool fileFails, plainThrow;
        std::string draft;
        std::optional<std::string> error;
        UIState state;
        std::optional<std::string> hudMessage;
    };
    const std::string failed = "Transcription failed: The recording could not be read.";
    const Row rows[] = {
        {"live text used", "", "go forward please", true, false, "Go forward please.", {}, UIState::ready, {}},
        {"blank live text", "", " \n ", true, false, "", failed, UIState::idle, "Transcription failed"},
        {"no live text", "", {}, true, false, "", failed, UIState::idle, "Transcription failed"},
        {"not even an exception",
         "",
         {},
         false,
         true,
         "",
         "Transcription failed: An unknown error occurred.",
         UIState::idle,
         "Transcription failed"},
        {"nothing recognized", "", "go", false, false, "", DictationSession::kNoWordsError, UIState::idle,
         "No speech detected"},
        {"only blanks recognized", " \n ", "go", false, false, "", DictationSession::kNoWordsError, UIState::idle,
         "No speech detected"},
        {"fillers exact formatting keeps are words", "um uh", "go", false, false, "Um uh.", {}, UIState::ready, {}},
    };
    for (const Row& row : rows) {
        ControllerRig rig({.outputMode = OutputMode::exact});
        rig.prepareRecognizer = [&](RecognizerDouble& r) {
            r.result = {row.recognized, {}};
            r.liveText = row.liveText;
            if (row.fileFails) r.fileFailure = Error(kErrorDomain, 5, "The recording could not be read.");
            r.throwPlainException = row.plainThrow;
        };
        AppDelegate& app = rig.start();
        rig.dictate();
        EXPECT_EQ(app.promptDraft(), row.draft) << row.name;
        EXPECT_EQ(app.lastError(), row.error) << row.name;
        EXPECT_EQ(app.uiState(), row.state) << row.name;
        EXPECT_EQ(rig.journal.only({"hud.showMessage:Transcription failed", "hud.showMessage:No speech detected"}),
                  row.hudMessage ? std::vector{"hud.showMessage:" + *row.hudMessage} : std::vector<std::string>{})
            << row.name;
        EXPECT_EQ(rig.journal.has("sound.Basso"), row.hudMessage == "Transcription failed") << row.name;
        EXPECT_TRUE(app.confidenceIssues().empty()) << row.name;
        EXPECT_FALSE(std::filesystem::exists(rig.recorder->file)) << row.name;
    }
}

TEST(DictationSession, AFailedStartReportsAndReturnsToIdle) {
    struct Row {
        const char* name;
        bool recorderFails;
    };
    for (const Row& row : {Row{"recorder", true}, Row{"live recognizer", false}}) {
        ControllerRig rig;
        if (row.recorderFails)
            rig.recorder->failure = Error(kErrorDomain, 1, "No microphone is available.");
        else
            rig.prepareRecognizer = [](RecognizerDouble& r) {
                r.startFailure = Error(kErrorDomain, 2, "No microphone is available.");
            };
        rig.surfaces->mainWindowVisible = true;
        AppDelegate& app = rig.start();
        app.refreshPermissions();
        rig.keys->handlers.onStart();
        ASSERT_TRUE(spinUntil([&] { return rig.journal.has("sound.Basso"); })) << row.name;
        EXPECT_EQ(app.uiState(), UIState::idle) << row.name;
        EXPECT_EQ(app.lastError(), "Could not start live transcription: No microphone is available.") << row.name;
        EXPECT_TRUE(rig.journal.has("hud.showMessage:Couldn’t start recording")) << row.name;
        EXPECT_TRUE(rig.journal.has("recorder.cancel")) << row.name;
        EXPECT_GE(rig.meter->starts, 1) << row.name;  // the microphone was given back
        // The key goes up afterwards: nothing records, so nothing is processed.
        rig.keys->handlers.onStop();
        spinFor(30ms);
        EXPECT_FALSE(rig.journal.has("recognizer.transcribeDetailed")) << row.name;
        EXPECT_EQ(app.uiState(), UIState::idle) << row.name;
    }
}

TEST(DictationSession, HandsFreeFollowsTheKeyMonitor) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.keys->handlers.onHandsFreeChange(true);
    spinUntil([&] { return app.isHandsFree(); });
    EXPECT_TRUE(rig.journal.has("sound.Pop"));
    EXPECT_FALSE(rig.journal.has("hud.hide"));
    rig.keys->handlers.onHandsFreeChange(false);
    spinUntil([&] { return !app.isHandsFree(); });
    EXPECT_EQ(rig.journal.count("sound.Pop"), 1u);
    EXPECT_TRUE(rig.journal.has("hud.hide"));
}

}  // namespace
}  // namespace vesk::test
