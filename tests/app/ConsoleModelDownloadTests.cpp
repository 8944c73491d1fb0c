// The speech model download as a person meets it: the settings page of the real console
// over the controller, the real transcriber and its whisper engine, fetching from a
// loopback mirror that falls silent part-way. The progress shows, Cancel stops it, and
// what arrived is kept for the next try.

#include "app/ControllerRig.h"
#include "app/RealServices.h"
#include "core/Settings.h"
#include "speech/SpeechEngines.h"
#include "support/ModelFileServer.h"
#include "system/DesktopFixture.h"
#include "ui/ConsoleWindow.h"
#include "ui/GuiDesktop.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

using ConsoleModelDownload = DesktopTest;

TEST_F(ConsoleModelDownload, ProgressShowsAndCancelStopsTheDownloadKeepingWhatArrived) {
    ControllerRig rig;
    QByteArray model(4'000'000, 'm');
    ModelFileServer mirror(model);
    mirror.stallAfter = 1'000'000;
    Settings::setString("speechModelMirror", mirror.folder());
    rig.services.makeRecognizer = transcriberFactory();
    AppDelegate& app = rig.start();

    ConsoleWindow window(app);
    window.setPage(ConsolePage::settings);
    window.present();
    auto* status = child<QLabel>(window, "settingsModelStatus");
    auto* download = child<QPushButton>(window, "settingsModelDownload");
    auto* progress = child<QProgressBar>(window, "settingsModelProgress");
    auto* cancel = child<QPushButton>(window, "settingsModelCancel");
    ASSERT_TRUE(status && download && progress && cancel);
    EXPECT_TRUE(status->text().startsWith("Not installed")) << status->text().toStdString();
    EXPECT_TRUE(status->text().contains("Until it is downloaded, dictation uses PocketSphinx."));

    QTest::mouseClick(download, Qt::LeftButton);
    // A quarter of the file arrives before the mirror falls silent.
    ASSERT_TRUE(spinUntil([&] { return progress->isVisible() && progress->value() >= 240; }, 10s))
        << status->text().toStdString();
    EXPECT_TRUE(status->text().startsWith("Downloading 25%")) << status->text().toStdString();
    EXPECT_TRUE(cancel->isVisible());
    EXPECT_FALSE(download->isVisible());

    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return !progress->isVisible(); }, 5s)) << "the download went on after Cancel";
    EXPECT_TRUE(status->text().startsWith("Not installed")) << status->text().toStdString();
    EXPECT_TRUE(status->text().contains("The download was cancelled")) << status->text().toStdString();
    EXPECT_TRUE(download->isVisible());
    const auto part = modelsDirectory() / (whisperModelFileName("base.en") + ".part");
    ASSERT_TRUE(std::filesystem::exists(part));
    EXPECT_EQ(std::filesystem::file_size(part), 1'000'000u);
    EXPECT_EQ(mirror.ranges, std::vector<std::string>{""});
}

}  // namespace
}  // namespace vesk::test
