// The speech model on the settings page: launch-time and asked-for downloads with their
// progress in the page and the tray, cancelling, and dictation going on meanwhile. The
// recognizers are doubles that "download" by writing the model file.

#include "app/ControllerRig.h"
#include "app/SpeechModelSettings.h"
#include "core/Settings.h"
#include "speech/SpeechEngines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

// Holds an install on its thread until the test lets it go.
class InstallGate {
public:
    void wait() {
        entered_ = true;
        opened_.wait();
    }
    void open() {
        std::call_once(once_, [&] { release_.set_value(); });
    }
    bool entered() const { return entered_; }

private:
    std::promise<void> release_;
    std::shared_future<void> opened_ = release_.get_future().share();
    std::atomic<bool> entered_ = false;
    std::once_flag once_;
};

std::filesystem::path modelFile() { return modelsDirectory() / whisperModelFileName("base.en"); }

void writeModel() {
    std::filesystem::create_directories(modelsDirectory());
    std::ofstream(modelFile()) << "model";
}

class SpeechModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.prepareRecognizer = [this](RecognizerDouble& recognizer) {
            RecognizerDouble* self = &recognizer;
            recognizer.install = [this, self] {
                self->downloads->progress(42, 100);
                gate.wait();
                if (self->downloads->cancelled()) throw Error("ModelDownload", kDownloadCancelled, "Cancelled.");
                if (installs) writeModel();
            };
        };
    }
    void TearDown() override { gate.open(); }

    QString lastTooltip() const { return rig.tray->icons.empty() ? QString() : rig.tray->icons.back().tooltip; }

    ControllerRig rig;
    InstallGate gate;
    bool installs = true;
};

TEST_F(SpeechModelTest, LaunchDownloadShowsProgressWhileDictationGoesOn) {
    AppDelegate& app = rig.start();
    app.applicationDidFinishLaunching();
    ASSERT_TRUE(spinUntil([&] { return gate.entered(); })) << "the launch did not ensure the model";
    ASSERT_TRUE(spinUntil([&] { return app.speechModelState()->downloadProgress == 0.42; }));
    const SpeechModelState downloading = *app.speechModelState();
    EXPECT_FALSE(downloading.installed);
    EXPECT_EQ(downloading.engine, "auto");
    EXPECT_EQ(downloading.note, "Until it is downloaded, dictation uses PocketSphinx.");
    EXPECT_TRUE(spinUntil([&] { return lastTooltip() == "Project Vesk · downloading the speech model (42%)"; }))
        << lastTooltip().toStdString();

    // The download holds its own thread: a dictation now is recognized and delivered.
    rig.recognizer().liveText = "while downloading";
    rig.recognizer().result.text = "while downloading";
    rig.dictate();
    EXPECT_TRUE(rig.journal.has("recognizer.transcribeDetailed"));
    EXPECT_EQ(app.lastError(), std::nullopt);
    // The dictation's state wins the tooltip; once it is idle again the download shows.
    EXPECT_FALSE(lastTooltip().contains("downloading")) << lastTooltip().toStdString();
    app.clearReadyPrompt();
    EXPECT_TRUE(spinUntil([&] { return lastTooltip().contains("downloading"); })) << lastTooltip().toStdString();

    gate.open();
    ASSERT_TRUE(spinUntil([&] { return !app.speechModelState()->downloadProgress; }));
    EXPECT_TRUE(app.speechModelState()->installed);
    EXPECT_EQ(app.speechModelState()->note, "");
    EXPECT_EQ(lastTooltip(), "Project Vesk · listening");
}

TEST_F(SpeechModelTest, AnInstalledModelOrPocketSphinxNeedsNoDownload) {
    for (const bool pocketSphinx : {false, true}) {
        SCOPED_TRACE(pocketSphinx);
        ControllerRig other;
        if (pocketSphinx)
            Settings::setString("speechEngine", "pocketsphinx");
        else
            writeModel();
        AppDelegate& app = other.start();
        app.applicationDidFinishLaunching();
        spinFor(100ms);
        EXPECT_FALSE(app.speechModelState()->downloadProgress);
        EXPECT_EQ(app.speechModelState()->installed, !pocketSphinx);
        EXPECT_EQ(app.speechModelState()->note, "");
    }
}

TEST_F(SpeechModelTest, AskedForDownloadUsesAFreshRecognizerAndServesTheNextDictation) {
    Settings::setString("speechEngine", "whisper");
    AppDelegate& app = rig.start();
    EXPECT_EQ(app.speechModelState()->note, "Dictation needs this model: download it first.");
    const size_t made = rig.recognizers.size();
    app.downloadSpeechModel();
    ASSERT_TRUE(spinUntil([&] { return gate.entered(); }));
    EXPECT_EQ(rig.recognizers.size(), made + 1);
    EXPECT_TRUE(rig.journal.has("recognizer.installModelNow"));
    app.downloadSpeechModel();  // one download at a time
    EXPECT_EQ(rig.recognizers.size(), made + 1);
    gate.open();
    ASSERT_TRUE(spinUntil([&] { return !app.speechModelState()->downloadProgress; }));
    EXPECT_TRUE(app.speechModelState()->installed);
    EXPECT_EQ(app.recognizer().get(), rig.recognizers.back().get()) << "the new model does not serve dictation";
}

TEST_F(SpeechModelTest, CancellingStopsTheDownloadAndSaysSo) {
    installs = false;
    AppDelegate& app = rig.start();
    const auto before = app.recognizer();
    app.downloadSpeechModel();
    ASSERT_TRUE(spinUntil([&] { return gate.entered(); }));
    app.cancelSpeechModelDownload();
    gate.open();
    ASSERT_TRUE(spinUntil([&] { return !app.speechModelState()->downloadProgress; }));
    EXPECT_FALSE(app.speechModelState()->installed);
    EXPECT_TRUE(app.speechModelState()->downloadError.has_value());
    EXPECT_EQ(app.recognizer(), before) << "a failed download replaced the working recognizer";
}

TEST_F(SpeechModelTest, ChangingEngineOrModelStoresItAndMakesANewRecognizer) {
    writeModel();
    AppDelegate& app = rig.start();
    int changes = 0;
    QObject::connect(&app, &AppModel::speechModelStateChanged, [&] { ++changes; });
    const size_t made = rig.recognizers.size();
    app.setSpeechModel("small.en");
    EXPECT_EQ(Settings::string("speechModel"), "small.en");
    EXPECT_EQ(app.speechModelState()->model, "small.en");
    EXPECT_FALSE(app.speechModelState()->installed);
    app.setSpeechEngine("pocketsphinx");
    EXPECT_EQ(app.speechModelState()->engine, "pocketsphinx");
    app.setSpeechEngine("pocketsphinx");  // the same again changes nothing
    EXPECT_EQ(rig.recognizers.size(), made + 2);
    EXPECT_EQ(changes, 2);
}

TEST_F(SpeechModelTest, QuittingDuringADownloadCancelsIt) {
    AppDelegate& app = rig.start();
    app.downloadSpeechModel();
    ASSERT_TRUE(spinUntil([&] { return gate.entered(); }));
    const auto downloads = rig.recognizers.back()->downloads;
    // The controller goes while the download waits; it must ask the download to stop
    // (the double's gate stands for the network) and then wait for it.
    std::thread release([&] {
        while (!downloads->cancelled()) std::this_thread::sleep_for(5ms);
        gate.open();
    });
    rig.app.reset();
    release.join();
    EXPECT_TRUE(downloads->cancelled());
}

}  // namespace
}  // namespace vesk::test
