#include "ui/ConsoleFixture.h"

#include "ui/HistoryPage.h"
#include "ui/HistoryPresentation.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <ctime>

namespace vesk::test {
namespace {

// Local noon `days` days ago, in history seconds: always on that calendar day.
double noonDaysAgo(int days) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_mday -= days;
    local.tm_hour = 12;
    local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return historyDateFromUnixSeconds(double(std::mktime(&local)));
}

// Three sessions: two dictations just now about the garden, one yesterday, one a week
// ago; one of each mode, and two exact ones.
std::vector<HistoryEntry> timeline() {
    const double now = HistoryPresentation::now();
    return {
        {"A", "plant the tomatoes on friday", "Plant the tomatoes on Friday.", now - 2, 7.4, OutputMode::exact},
        {"B", "water the tomatoes twice", "Water the tomatoes twice a day.", now - 3, {}, OutputMode::clean},
        {"C",
         "write a cover letter for the bakery job",
         "Write a cover letter for the bakery job.",
         noonDaysAgo(1),
         {},
         OutputMode::prompt},
        {"D", "call mum about the weekend", "Call Mum about the weekend.", noonDaysAgo(7), {}, OutputMode::exact},
    };
}

std::vector<std::string> listedIDs(QListWidget& list) {
    std::vector<std::string> ids;
    for (int i = 0; i < list.count(); ++i) {
        const QString id = list.item(i)->data(Qt::UserRole).toString();
        if (!id.isEmpty()) ids.push_back(id.toStdString());
    }
    return ids;
}

std::vector<std::string> headerLines(QListWidget& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->data(Qt::UserRole + 1).toBool())
            lines.push_back(list.item(i)->text().section('\n', 1).toStdString());
    return lines;
}

class HistoryTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        model.publishEntries(timeline());
        window = makeWindow();
        window->setPage(ConsolePage::prompts);
        window->present();
        list = child<QListWidget>(*window, "historyList");
        search = child<QLineEdit>(*window, "historySearch");
    }

    std::unique_ptr<ConsoleWindow> window;
    QListWidget* list = nullptr;
    QLineEdit* search = nullptr;
};

TEST_F(HistoryTest, SearchKeepsMatchingEntries) {
    struct Case {
        const char* search;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {"", {"A", "B", "C", "D"}},
        {"   ", {"A", "B", "C", "D"}},  // only spaces: everything
        {"exact", {"A", "D"}},          // every exact entry, by mode name
        {"  TOMATOES ", {"A", "B"}},    // trimmed, case-folded
        {"a day", {"B"}},               // only in the rendered text
        {"mum about", {"D"}},           // transcript and rendered
        {"cover letter for", {"C"}},    // also the title
        {"prompt", {"C"}},
        {"nothing like this", {}},
    };
    for (const Case& c : cases) {
        QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(search, QString::fromUtf8(c.search));
        if (std::string(c.search).empty()) search->clear();
        EXPECT_EQ(listedIDs(*list), c.ids) << "search \"" << c.search << "\"";
    }
    EXPECT_TRUE(child<QWidget>(*window, "historyNoMatch")->isVisible());
    EXPECT_EQ(child<QLabel>(*window, "historyNoMatchTitle")->text(), "No matching recordings");
    QTest::mouseClick(child<QPushButton>(*window, "historyClearSearch"), Qt::LeftButton);
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_EQ(listedIDs(*list).size(), 4u);
}

TEST_F(HistoryTest, GroupsIntoProjectsWithDayAndCount) {
    const std::string weekAgo = HistoryPresentation::dayLabel(timeline()[3].date, HistoryPresentation::now());
    EXPECT_EQ(headerLines(*list), (std::vector<std::string>{"Today · 2 recordings", "Yesterday · 1 recording",
                                                            weekAgo + " · 1 recording"}));
    EXPECT_NE(weekAgo, "Today");
    EXPECT_NE(weekAgo, "Yesterday");
    EXPECT_FALSE(weekAgo.empty());
}

TEST_F(ConsoleTest, HistoryEmptyTimeline) {
    const auto window = makeWindow();
    window->setPage(ConsolePage::prompts);
    window->present();
    EXPECT_TRUE(spinUntil([&] { return child<QWidget>(*window, "historyEmpty")->isVisible(); }));
    EXPECT_EQ(child<QLabel>(*window, "historyEmptyTitle")->text(), "Your next dictation will appear here");
    EXPECT_EQ(child<QLabel>(*window, "historyStorage")->text(), "This session only");
    QTest::mouseClick(child<QToolButton>(*window, "historyStorageSettings"), Qt::LeftButton);
    EXPECT_EQ(window->page(), ConsolePage::settings);

    model.setSaveHistory(true);
    EXPECT_EQ(child<QLabel>(*window, "historyStorage")->text(), "Stored on this computer");
    EXPECT_FALSE(child<QToolButton>(*window, "historyStorageSettings")->isVisibleTo(window.get()));
}

TEST_F(HistoryTest, WorkspaceShowsSurfacesAndCopies) {
    window->history().select("A");
    auto* editor = child<QPlainTextEdit>(*window, "workspaceDraft");
    EXPECT_EQ(editor->toPlainText(), "Plant the tomatoes on Friday.");
    EXPECT_EQ(child<QLabel>(*window, "workspaceMeta")->text(), "5 words · 7 sec");
    QTest::mouseClick(child<QPushButton>(*window, "surface-spoken"), Qt::LeftButton);
    EXPECT_EQ(editor->toPlainText(), "plant the tomatoes on friday");
    EXPECT_TRUE(editor->isReadOnly());
    QTest::mouseClick(child<QPushButton>(*window, "workspaceCopy"), Qt::LeftButton);
    EXPECT_EQ(model.copiedTexts, std::vector<std::string>{"plant the tomatoes on friday"});

    window->history().select("B");
    EXPECT_EQ(child<QLabel>(*window, "workspaceMeta")->text(), "4 words") << "no duration stored";
}

TEST_F(HistoryTest, ApplyAndTransformSaveTheDraftThroughTheModel) {
    // Selecting by clicking the row, as a person does.
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == "C") {
            const QRect row = list->visualItemRect(list->item(i));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        }
    ASSERT_EQ(window->history().selectedID(), std::optional<std::string>("C"));
    auto* editor = child<QPlainTextEdit>(*window, "workspaceDraft");
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, " Keep it short.");
    const std::string draft = "Write a cover letter for the bakery job. Keep it short.";

    QTest::mouseClick(child<QPushButton>(*window, "workspaceApply"), Qt::LeftButton);
    child<QToolButton>(*window, "workspaceTransform")->findChild<QAction*>("transform-clean")->trigger();
    EXPECT_EQ(model.calls,
              (std::vector<std::string>{"updateSpeechEntry", "updateSpeechEntry", "transformSpeechEntry"}));
    const ConsoleModelDouble::Update saved{"C", draft, std::nullopt};
    EXPECT_EQ(model.updates, (std::vector<ConsoleModelDouble::Update>{saved, saved}));
    EXPECT_EQ(model.transforms, (std::vector<ConsoleModelDouble::Transform>{{"C", OutputMode::clean}}));

    auto* transforming = child<QLabel>(*window, "workspaceTransforming");
    EXPECT_FALSE(transforming->isVisible());
    model.publishTransformingID("C");
    EXPECT_TRUE(transforming->isVisible());
    EXPECT_EQ(transforming->text(), "Transforming speech…");
    EXPECT_FALSE(child<QPushButton>(*window, "workspaceApply")->isEnabled());
    window->history().select("A");
    EXPECT_FALSE(transforming->isVisible()) << "another entry is not the one being transformed";
    window->history().select("C");
    EXPECT_TRUE(transforming->isVisible());

    // The result arrives: the new rendered text replaces the draft.
    auto entries = timeline();
    entries[2].renderedText = "Cover letter for the bakery job.";
    entries[2].outputMode = OutputMode::clean;
    model.publishEntries(entries);
    model.publishTransformingID(std::nullopt);
    EXPECT_FALSE(transforming->isVisible());
    EXPECT_EQ(editor->toPlainText(), "Cover letter for the bakery job.");
}

}  // namespace
}  // namespace vesk::test
