#include "ui/ConsoleFixture.h"

#include <QLabel>
#include <QTest>

namespace vesk::test {
namespace {

// What the model publishes, in the order the case publishes it (the state last).
struct Published {
    bool mic = true;
    std::optional<std::string> error{};
    bool keyboard = true;
    Hotkey hotkey = Hotkey::rightControl;
    bool autoPaste = false, autoCopy = false;
    OutputMode mode = OutputMode::prompt;
    std::vector<std::string> issues{};  // the words heard
    std::optional<std::string> transformStatus{};
    bool handsFree = false;
    UIState state = UIState::idle;
};

struct AttentionCase {
    const char* name;
    Published published;
    SidebarAttention expected;
};

const std::vector<AttentionCase>& attentionCases() {
    using T = AttentionTint;
    const char* const failed = "The recording could not start.";
    static const std::vector<AttentionCase> cases{
        {"microphone before an error",
         {.mic = false, .error = failed, .keyboard = false},
         {"ACTION NEEDED", "Microphone", "Allow access to hear input.", "mic.slash.fill", T::warning, true}},
        {"error before limited mode",
         {.error = failed, .keyboard = false},
         {"NEEDS ATTENTION", "Try again", failed, "exclamationmark.triangle.fill", T::error, false}},
        {"empty error is no error",
         {.error = "", .keyboard = false},
         {"LIMITED MODE", "Hotkey access", "Enable it to dictate from any app.", "keyboard.badge.ellipsis", T::limited,
          true}},
        {"monitoring names the key",
         {.hotkey = Hotkey::rightOption},
         {"PASSIVE INPUT", "Monitoring", "Hold Right Alt (AltGr) to transcribe.", "waveform", T::passive, false}},
        {"recording held",  // the state row wins over idle-only conditions
         {.mic = false, .state = UIState::recording},
         {"TRANSCRIBING", "Listening", "Release the key to finish.", "waveform.badge.mic", T::recording, false}},
        {"recording hands-free",
         {.handsFree = true, .state = UIState::recording},
         {"TRANSCRIBING", "Listening", "Tap your dictation key when finished.", "waveform.badge.mic", T::recording,
          false}},
        {"processing without status",
         {.state = UIState::processing},
         {"ON-DEVICE", "Refining", "Preparing your result…", "cpu", T::processing, false}},
        {"processing with status",
         {.transformStatus = "Shaping your prompt…", .state = UIState::processing},
         {"ON-DEVICE", "Refining", "Shaping your prompt…", "cpu", T::processing, false}},
        {"one issue, auto-paste on",
         {.autoPaste = true, .issues = {"bjorn"}, .state = UIState::ready},
         {"REVIEW SUGGESTED", "Check one detail", "Vesk paused before pasting.", "checkmark.shield.fill", T::review,
          false}},
        {"two issues, auto-paste off",
         {.issues = {"bjorn", "jira"}, .state = UIState::ready},
         {"REVIEW SUGGESTED", "Check 2 details", "Confirm the uncertain wording below.", "checkmark.shield.fill",
          T::review, false}},
        {"ready, copied",
         {.autoCopy = true, .mode = OutputMode::clean, .state = UIState::ready},
         {"RESULT READY", "Clean ready", "Copied. Press Ctrl+V or edit it below.", "checkmark.circle.fill", T::ready,
          false}},
        {"ready, not copied",
         {.mode = OutputMode::exact, .state = UIState::ready},
         {"RESULT READY", "Exact ready", "Edit or copy it below.", "checkmark.circle.fill", T::ready, false}},
    };
    return cases;
}

void publish(ConsoleModelDouble& model, const Published& p) {
    model.publishMic(p.mic);
    if (p.error) model.publishError(*p.error);
    model.publishKeyboardAccess(p.keyboard);
    model.setHotkey(p.hotkey);
    model.setAutoPaste(p.autoPaste);
    model.setAutoCopy(p.autoCopy);
    model.publishMode(p.mode);
    std::vector<ConfidenceIssue> issues;
    for (const std::string& heard : p.issues) issues.push_back({"0-" + heard, heard, {}, 0.4, false});
    model.publishIssues(issues);
    model.publishTransformStatus(p.transformStatus);
    model.publishHandsFree(p.handsFree);
    model.publishState(p.state);
}

class AttentionCardTest : public ConsoleTest, public ::testing::WithParamInterface<AttentionCase> {};

TEST_P(AttentionCardTest, ShowsTheFirstMatchingRowAndFollowsChanges) {
    const auto window = makeWindow();
    AttentionCard& card = window->sidebar().attentionCard();
    publish(model, GetParam().published);  // after construction: the card must follow the change signals
    EXPECT_EQ(card.attention(), GetParam().expected);
    const SidebarAttention& expected = GetParam().expected;
    EXPECT_EQ(child<QLabel>(card, "attentionEyebrow")->text().toStdString(), expected.eyebrow);
    EXPECT_EQ(child<QLabel>(card, "attentionTitle")->text().toStdString(), expected.title);
    EXPECT_EQ(child<QLabel>(card, "attentionDetail")->text().toStdString(), expected.detail);
    EXPECT_EQ(child<QLabel>(card, "attentionChevron")->isVisibleTo(&card), expected.opensSettings);

    // Only the rows that open the settings react to a click.
    window->present();
    ASSERT_TRUE(spinUntil([&] { return card.isVisible(); }));
    QTest::mouseClick(&card, Qt::LeftButton);
    EXPECT_EQ(window->page(), expected.opensSettings ? ConsolePage::settings : ConsolePage::studio);
}

INSTANTIATE_TEST_SUITE_P(Table, AttentionCardTest, ::testing::ValuesIn(attentionCases()), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

}  // namespace
}  // namespace vesk::test
