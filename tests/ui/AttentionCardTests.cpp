#include "ui/ConsoleFixture.h"

#include <QLabel>
#include <QTest>

namespace vesk::test {
namespace {

struct AttentionCase {
    const char* name;
    std::function<void(ConsoleModelDouble&)> arrange;
    SidebarAttention expected;
};

ConfidenceIssue issue(const std::string& heard) { return {"0-" + heard, heard, {}, 0.4, false}; }

const std::vector<AttentionCase>& attentionCases() {
    static const std::vector<AttentionCase> cases{
        {"microphone before an error",
         [](ConsoleModelDouble& m) {
             m.publishMic(false);
             m.publishError("The recording could not start.");
             m.publishKeyboardAccess(false);
         },
         {"ACTION NEEDED", "Microphone", "Allow access to hear input.", "mic.slash.fill", AttentionTint::warning,
          true}},
        {"error before limited mode",
         [](ConsoleModelDouble& m) {
             m.publishError("The recording could not start.");
             m.publishKeyboardAccess(false);
         },
         {"NEEDS ATTENTION", "Try again", "The recording could not start.", "exclamationmark.triangle.fill",
          AttentionTint::error, false}},
        {"empty error is no error",
         [](ConsoleModelDouble& m) {
             m.publishError("");
             m.publishKeyboardAccess(false);
         },
         {"LIMITED MODE", "Hotkey access", "Enable it to dictate from any app.", "keyboard.badge.ellipsis",
          AttentionTint::limited, true}},
        {"monitoring names the key",
         [](ConsoleModelDouble& m) { m.setHotkey(Hotkey::rightOption); },
         {"PASSIVE INPUT", "Monitoring", "Hold Right Alt (AltGr) to transcribe.", "waveform", AttentionTint::passive,
          false}},
        {"recording held",
         [](ConsoleModelDouble& m) {
             m.publishMic(false);  // the state row wins over idle-only conditions
             m.publishState(UIState::recording);
         },
         {"TRANSCRIBING", "Listening", "Release the key to finish.", "waveform.badge.mic", AttentionTint::recording,
          false}},
        {"recording hands-free",
         [](ConsoleModelDouble& m) {
             m.publishHandsFree(true);
             m.publishState(UIState::recording);
         },
         {"TRANSCRIBING", "Listening", "Tap your dictation key when finished.", "waveform.badge.mic",
          AttentionTint::recording, false}},
        {"processing without status",
         [](ConsoleModelDouble& m) { m.publishState(UIState::processing); },
         {"ON-DEVICE", "Refining", "Preparing your result…", "cpu", AttentionTint::processing, false}},
        {"processing with status",
         [](ConsoleModelDouble& m) {
             m.publishTransformStatus("Shaping your prompt…");
             m.publishState(UIState::processing);
         },
         {"ON-DEVICE", "Refining", "Shaping your prompt…", "cpu", AttentionTint::processing, false}},
        {"one issue, auto-paste on",
         [](ConsoleModelDouble& m) {
             m.setAutoPaste(true);
             m.publishIssues({issue("bjorn")});
             m.publishState(UIState::ready);
         },
         {"REVIEW SUGGESTED", "Check one detail", "Vesk paused before pasting.", "checkmark.shield.fill",
          AttentionTint::review, false}},
        {"two issues, auto-paste off",
         [](ConsoleModelDouble& m) {
             m.publishIssues({issue("bjorn"), issue("jira")});
             m.publishState(UIState::ready);
         },
         {"REVIEW SUGGESTED", "Check 2 details", "Confirm the uncertain wording below.", "checkmark.shield.fill",
          AttentionTint::review, false}},
        {"ready, copied",
         [](ConsoleModelDouble& m) {
             m.setAutoCopy(true);
             m.publishMode(OutputMode::clean);
             m.publishState(UIState::ready);
         },
         {"RESULT READY", "Clean ready", "Copied. Press Ctrl+V or edit it below.", "checkmark.circle.fill",
          AttentionTint::ready, false}},
        {"ready, not copied",
         [](ConsoleModelDouble& m) {
             m.publishMode(OutputMode::exact);
             m.publishState(UIState::ready);
         },
         {"RESULT READY", "Exact ready", "Edit or copy it below.", "checkmark.circle.fill", AttentionTint::ready,
          false}},
    };
    return cases;
}

class AttentionCardTest : public ConsoleTest, public ::testing::WithParamInterface<AttentionCase> {};

TEST_P(AttentionCardTest, ShowsTheFirstMatchingRowAndFollowsChanges) {
    const auto window = makeWindow();
    AttentionCard& card = window->sidebar().attentionCard();
    GetParam().arrange(model);  // after construction: the card must follow the change signals
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
