#include "ui/ConsoleFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace vesk::test {
namespace {

using EngineSettingsTest = SettingsPageTest;

TEST_F(EngineSettingsTest, ModelDownloadShowsProgressAndCancels) {
    SpeechModelState state{"auto",
                           "base.en",
                           {"base.en", "small.en"},
                           false,
                           147'951'465,
                           {},
                           {},
                           "Until it is downloaded, dictation uses PocketSphinx."};
    // The section appears only once the model offers an engine state.
    EXPECT_FALSE(child<QWidget>(*window, "speechEngineSection")->isVisible());
    model.publishSpeech(state);
    EXPECT_TRUE(child<QWidget>(*window, "speechEngineSection")->isVisible());
    auto* status = child<QLabel>(*window, "settingsModelStatus");
    auto* download = child<QPushButton>(*window, "settingsModelDownload");
    auto* progress = child<QProgressBar>(*window, "settingsModelProgress");
    auto* cancel = child<QPushButton>(*window, "settingsModelCancel");
    EXPECT_EQ(status->text(),
              "Not installed · 141 MB to download\nUntil it is downloaded, dictation uses PocketSphinx.");
    EXPECT_TRUE(download->isVisible());
    EXPECT_FALSE(progress->isVisible());
    QTest::mouseClick(download, Qt::LeftButton);

    state.downloadProgress = 0.42;
    model.publishSpeech(state);
    EXPECT_EQ(status->text(),
              "Downloading 42% · 141 MB to download\nUntil it is downloaded, dictation uses PocketSphinx.");
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->value(), 420);
    EXPECT_FALSE(download->isVisible());
    QTest::mouseClick(cancel, Qt::LeftButton);

    state.downloadProgress.reset();
    state.downloadError = "The download was cancelled.";
    model.publishSpeech(state);
    EXPECT_EQ(status->text(),
              "Not installed · 141 MB to download\nUntil it is downloaded, dictation uses PocketSphinx.\n"
              "The download was cancelled.");
    EXPECT_FALSE(cancel->isVisible());
    EXPECT_TRUE(download->isVisible());

    auto* engine = child<QComboBox>(*window, "settingsSpeechEngine");
    emit engine->activated(engine->findData("pocketsphinx"));
    auto* speechModel = child<QComboBox>(*window, "settingsSpeechModel");
    emit speechModel->activated(speechModel->findText("small.en"));

    state.installed = true;
    state.downloadError.reset();
    state.note.clear();
    model.publishSpeech(state);
    EXPECT_EQ(status->text(), "Installed · 141 MB on disk");
    EXPECT_FALSE(download->isVisible());
    EXPECT_EQ(model.calls, (std::vector<std::string>{"downloadSpeechModel", "cancelSpeechModelDownload",
                                                     "setSpeechEngine pocketsphinx", "setSpeechModel small.en"}));
}

TEST_F(EngineSettingsTest, RewritingControlsReachTheirSetters) {
    EXPECT_FALSE(child<QWidget>(*window, "rewritingSection")->isVisible());
    model.publishRewriting(RewritingState{"http://127.0.0.1:11434/v1",
                                          "",
                                          {"llama3.2:latest", "qwen2.5:3b"},
                                          false,
                                          "Choose a local language model in Settings to power on-device rewriting."});
    EXPECT_TRUE(child<QWidget>(*window, "rewritingSection")->isVisible());
    auto* note = child<QLabel>(*window, "settingsRewriteNote");
    EXPECT_EQ(note->text(), "Choose a local language model in Settings to power on-device rewriting.");

    auto* endpoint = child<QLineEdit>(*window, "settingsRewriteEndpoint");
    EXPECT_EQ(endpoint->text(), "http://127.0.0.1:11434/v1");
    endpoint->setFocus();
    endpoint->selectAll();
    QTest::keyClicks(endpoint, " http://localhost:8080/v1 ");
    QTest::keyClick(endpoint, Qt::Key_Return);

    auto* choice = child<QComboBox>(*window, "settingsRewriteModel");
    EXPECT_EQ(choice->count(), 3) << "None and the server's two models";
    emit choice->activated(choice->findData("qwen2.5:3b"));
    QTest::mouseClick(child<QPushButton>(*window, "settingsRewriteRefresh"), Qt::LeftButton);
    auto* remote = child<QCheckBox>(*window, "settingsAllowRemote");
    QTest::mouseClick(remote, Qt::LeftButton);
    EXPECT_EQ(model.calls,
              (std::vector<std::string>{"setRewriteEndpoint http://localhost:8080/v1", "setRewriteModel qwen2.5:3b",
                                        "refreshRewritingModels", "setAllowRemoteRewriting on"}));

    model.publishRewriting(RewritingState{"http://localhost:8080/v1", "qwen2.5:3b", {"qwen2.5:3b"}, false, ""});
    EXPECT_EQ(choice->currentText(), "qwen2.5:3b");
    EXPECT_FALSE(remote->isChecked()) << "the switch shows the stored setting";
    EXPECT_EQ(note->text(), "Ready on this computer");

    QTest::mouseClick(child<QPushButton>(*window, "settingsRewriteHelp"), Qt::LeftButton);
    ASSERT_EQ(openedUrls.size(), 1u);
    EXPECT_EQ(openedUrls.front().fileName(), "rewriting.html");
}

}  // namespace
}  // namespace vesk::test
