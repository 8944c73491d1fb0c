#include "ui/ConsoleFixture.h"

#include "ui/HistoryPage.h"

#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <ctime>
#include <set>

namespace vesk::test {
namespace {

TEST_F(ConsoleTest, WindowSizeTitleAndPlacement) {
    auto window = makeWindow();
    window->present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->windowTitle(), "Project Vesk");
    EXPECT_EQ(window->size(), QSize(1120, 556));
    EXPECT_EQ(window->minimumSize(), QSize(980, 556));
    EXPECT_EQ(window->maximumHeight(), 556);
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE(std::abs(window->geometry().center().x() - screen.center().x()), 40);
    EXPECT_LE(std::abs(window->geometry().center().y() - screen.center().y()), 40);

    // Closing hides it; it is kept and comes back as it was.
    window->setPage(ConsolePage::prompts);
    int closedCount = 0;
    QObject::connect(window.get(), &ConsoleWindow::closed, [&] { ++closedCount; });
    QPointer<ConsoleWindow> alive(window.get());
    window->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(alive.isNull());
    EXPECT_EQ(closedCount, 1);
    window->present();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->page(), ConsolePage::prompts);
}

TEST_F(ConsoleTest, RefreshesPermissionsEveryTwoSeconds) {
    const auto window = makeWindow();
    EXPECT_EQ(window->permissionTimer().interval(), 2000);
    EXPECT_TRUE(window->permissionTimer().isActive());
    EXPECT_TRUE(spinUntil([&] { return model.permissionRefreshes >= 1; }, std::chrono::milliseconds(2600)));
}

// The three pages in three states, saved for a person to look at; each must show more
// than a blank background.
TEST_F(ConsoleTest, ScreenshotsOfEveryPageAndState) {
    auto entries = std::vector<HistoryEntry>{
        {"A", "make a checklist for moving house next month", "Create a checklist for moving house next month.",
         historyDateFromUnixSeconds(double(std::time(nullptr))) - 30, 6.2, OutputMode::prompt},
        {"B", "remind me to book the van", "Remind me to book the van.",
         historyDateFromUnixSeconds(double(std::time(nullptr))) - 90, 2.0, OutputMode::exact},
    };
    model.publishEntries(entries);
    model.setSaveHistory(true);
    auto window = makeWindow();
    window->present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(spinUntil([&] { return window->settings().localesLoaded(); }));

    WaveformFrame frame;
    for (size_t i = 0; i < frame.full.size(); ++i) frame.full[i] = 0.5f * std::sin(float(i) * 0.11f);
    const std::function<void()> states[] = {
        [&] {
            model.publishKeyboardAccess(false);  // limited mode: the "How to allow" rows show
            model.publishSpeech(
                SpeechModelState{"auto", "base.en", {"base.en", "small.en"}, false, 147'951'465, 0.42, {}, ""});
            model.publishRewriting(
                RewritingState{"http://127.0.0.1:11434/v1",
                               "",
                               {"llama3.2:latest"},
                               false,
                               "Choose a local language model in Settings to power on-device rewriting."});
        },
        [&] {
            model.publishState(UIState::recording);
            model.audioVisual().update(0.55f, frame);
            model.transcriptModel().update("Make a checklist for", "moving house nex");
        },
        [&] {
            model.transcriptModel().update("Make a checklist for moving house next month", "");
            model.publishDraft("Create a checklist for moving house next month, with Bjorn's van booking.");
            model.publishIssues({{"0-bjorn", "Bjorn", {"Björn", "Byron"}, 0.63, true}});
            model.publishState(UIState::ready);
            window->history().select("A");
        },
    };
    const char* stateNames[] = {"idle", "recording", "ready-review"};
    const std::pair<ConsolePage, const char*> pages[] = {
        {ConsolePage::studio, "studio"}, {ConsolePage::prompts, "history"}, {ConsolePage::settings, "settings"}};
    for (size_t s = 0; s < std::size(states); ++s) {
        states[s]();
        for (const auto& [page, pageName] : pages) {
            window->setPage(page);
            spinFor(std::chrono::milliseconds(350));  // reveals and the frontier settle
            const std::string path = screenshot(*window, std::string("console-") + pageName + "-" + stateNames[s]);
            const QImage image(QString::fromStdString(path));
            ASSERT_EQ(image.size(), QSize(1120, 556)) << path;
            std::set<QRgb> colours;
            for (int y = 0; y < image.height(); y += 7)
                for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
            EXPECT_GT(colours.size(), 20u) << path << " looks blank";
        }
        // The whole settings page, including what is scrolled out of view.
        screenshot(*child<QWidget>(*window, "settingsContent"), std::string("console-settings-full-") + stateNames[s]);
    }
}

}  // namespace
}  // namespace vesk::test
