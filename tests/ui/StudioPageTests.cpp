#include "ui/ConsoleFixture.h"

#include "ui/AssemblingTranscriptView.h"
#include "ui/LevelFieldWidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace vesk::test {
namespace {

const ConfidenceIssue kBjorn{"0-bjorn", "Bjorn", {"Björn", "Byron"}, 0.634, true};
const ConfidenceIssue kJira{"1-jira", "jira", {}, 0.5, false};

class LensBarTest : public ConsoleTest {
public:
    void SetUp() override {
        ConsoleTest::SetUp();
        window = makeWindow();
        window->present();
        model.publishIssues({kBjorn, kJira});
        model.publishState(UIState::ready);
        lens = child<QWidget>(*window, "confidenceLens");
        ASSERT_TRUE(lens);
        ASSERT_TRUE(spinUntil([&] { return lens->isVisible(); }));
    }

    void typeCorrection(const QString& text) {
        QTest::mouseClick(child<QToolButton>(*lens, "lensEdit"), Qt::LeftButton);
        auto* field = child<QLineEdit>(*lens, "lensCorrection");
        ASSERT_TRUE(field->isVisible());
        field->setText(text);
    }

    std::unique_ptr<ConsoleWindow> window;
    QWidget* lens = nullptr;
};

TEST_F(LensBarTest, ShowsTheFirstIssue) {
    EXPECT_EQ(child<QLabel>(*lens, "lensHeader")->text(), "DETAIL CHECK");
    EXPECT_EQ(child<QLabel>(*lens, "lensHeard")->text(), "Bjorn");
    EXPECT_EQ(child<QLabel>(*lens, "lensConfidence")->text(), "63%");
    EXPECT_EQ(child<QLabel>(*lens, "lensConfidence")->accessibleName(), "Recognition confidence 63 percent");
    EXPECT_EQ(child<QLabel>(*lens, "lensCount")->text(), "2 checks");
    EXPECT_EQ(child<QPushButton>(*lens, "lensChoice-1")->accessibleName(), "Replace with Byron");

    model.publishIssues({kJira});
    EXPECT_EQ(child<QLabel>(*lens, "lensHeader")->text(), "WORD CHECK");
    EXPECT_EQ(lens->findChild<QPushButton*>("lensChoice-0"), nullptr);
    model.publishIssues({});
    EXPECT_FALSE(lens->isVisible());
}

struct LensAction {
    const char* name;
    std::function<void(LensBarTest&)> act;
    std::vector<std::string> replacements;  // the texts sent for the first issue
};

class LensActionTest : public LensBarTest, public ::testing::WithParamInterface<LensAction> {};

TEST_P(LensActionTest, ReachesReplaceConfidenceIssue) {
    GetParam().act(*this);
    std::vector<ConsoleModelDouble::Replacement> expected;
    for (const auto& text : GetParam().replacements) expected.push_back({kBjorn, text});
    EXPECT_EQ(model.replacements, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LensActionTest,
    ::testing::Values(LensAction{"Choice",
                                 [](LensBarTest& t) {
                                     QTest::mouseClick(child<QPushButton>(*t.lens, "lensChoice-0"), Qt::LeftButton);
                                 },
                                 {"Björn"}},
                      LensAction{"TypedIsTrimmed",
                                 [](LensBarTest& t) {
                                     t.typeCorrection(QStringLiteral("  Bjørn Ås \n"));
                                     QTest::mouseClick(child<QToolButton>(*t.lens, "lensUse"), Qt::LeftButton);
                                     EXPECT_TRUE(child<QLineEdit>(*t.lens, "lensCorrection")->text().isEmpty());
                                 },
                                 {"Bjørn Ås"}},
                      LensAction{"TypedWithReturn",
                                 [](LensBarTest& t) {
                                     t.typeCorrection(QStringLiteral("Bjarne"));
                                     QTest::keyClick(child<QLineEdit>(*t.lens, "lensCorrection"), Qt::Key_Return);
                                 },
                                 {"Bjarne"}},
                      LensAction{"BlankDoesNothing",
                                 [](LensBarTest& t) {
                                     t.typeCorrection(QStringLiteral(" \t "));
                                     QTest::mouseClick(child<QToolButton>(*t.lens, "lensUse"), Qt::LeftButton);
                                 },
                                 {}},
                      LensAction{"KeepSendsTheHeardWord",
                                 [](LensBarTest& t) {
                                     QTest::mouseClick(child<QToolButton>(*t.lens, "lensKeep"), Qt::LeftButton);
                                 },
                                 {"Bjorn"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, ProcessingRailSelectsThroughTheModel) {
    const auto window = makeWindow();
    auto* clean = child<QToolButton>(*window, "mode-clean");
    auto* prompt = child<QToolButton>(*window, "mode-prompt");
    window->present();
    ASSERT_TRUE(spinUntil([&] { return clean->isVisible(); }));
    EXPECT_TRUE(prompt->isChecked());

    QTest::mouseClick(clean, Qt::LeftButton);
    EXPECT_EQ(model.modeRequests, std::vector<OutputMode>{OutputMode::clean});
    EXPECT_TRUE(clean->isChecked());
    EXPECT_FALSE(prompt->isChecked());

    model.publishState(UIState::processing);
    EXPECT_TRUE(clean->property("processing").toBool());
    EXPECT_FALSE(prompt->property("processing").toBool());

    model.publishModeSelection(false);
    QTest::mouseClick(prompt, Qt::LeftButton);
    EXPECT_EQ(model.modeRequests.size(), 1u);
}

TEST_F(ConsoleTest, CommandDockStagesEditsAndCopies) {
    const auto window = makeWindow();
    auto* draft = child<QPlainTextEdit>(*window, "promptDraft");
    window->present();
    model.publishDraft("Summarize the meeting notes.");
    EXPECT_EQ(draft->toPlainText(), "Summarize the meeting notes.");
    EXPECT_TRUE(model.stagedEdits.empty()) << "showing the model's draft is not an edit";

    draft->setFocus();
    draft->moveCursor(QTextCursor::End);
    QTest::keyClicks(draft, " Now");
    ASSERT_FALSE(model.stagedEdits.empty());
    EXPECT_EQ(model.stagedEdits.back(), "Summarize the meeting notes. Now");
    EXPECT_EQ(model.stagedEdits.size(), 4u) << "one call per change";

    QTest::mouseClick(child<QPushButton>(*window, "copyTranscript"), Qt::LeftButton);
    EXPECT_EQ(model.calls, std::vector<std::string>{"copyTranscriptSurface"});
}

TEST_F(ConsoleTest, FieldCardDrawsTheModelsSound) {
    QWidget* made = nullptr;
    ConsoleWindowOptions options;
    options.settings.supportedLocales = [] { return std::vector<std::string>{"en-US"}; };
    options.makeField = [&](AudioVisualModel& audio, QWidget* parent) -> QWidget* {
        made = levelFieldFactory()(audio, parent);
        return made;
    };
    ConsoleWindow window(model, std::move(options));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(&window.studio().field(), made);
    EXPECT_EQ(made->accessibleName(), "Vesk Field audio visualization");

    window.present();
    auto* field = dynamic_cast<LevelFieldWidget*>(made);
    ASSERT_NE(field, nullptr);
    WaveformFrame frame;
    model.audioVisual().update(0.6f, frame);
    EXPECT_TRUE(spinUntil([&] { return field->paintedLevel() == 0.6f; }));
}

}  // namespace
}  // namespace vesk::test
