#pragma once

#include "core/OutputMode.h"
#include "rewriting/PromptCoach.h"
#include "system/FocusTracker.h"
#include "text/ConfidenceLens.h"

#include <QCoro/QCoroTask>

#include <optional>
#include <string>
#include <vector>

namespace vesk {

class AppDelegate;

// What to do with a finished text.
struct PromptPreviewAction {
    enum class Kind { paste, copy };
    Kind kind = Kind::paste;
    std::string text;
};

// Turns the tidied transcript into the text of the chosen output mode and delivers it:
// the screen state, the recent list and the history, the clipboard, the HUD and, when
// allowed and nothing needs review, a paste back into the application that had focus.
//
// Main thread only. Owned by the controller, which it must not outlive.
class ResultDelivery {
public:
    static constexpr const char* kPasteNeedsKeyboardAccess =
        "The prompt was copied. Allow keyboard access to paste back into the previous app automatically.";
    static constexpr size_t kRecentLimit = 20;

    explicit ResultDelivery(AppDelegate& app);

    // The progress line while rendering in `mode`.
    std::string statusForRendering(OutputMode mode) const;
    // The current transcripts rendered in `mode`; `prompt` and `clean` ask the language
    // model (through the prompt coach, which never fails), `exact` does not.
    QCoro::Task<PromptAssessment> renderSpeech(OutputMode mode);
    // Publishes and delivers a rendered result; ends in `ready` (review pause) or, after
    // scheduling an automatic paste, in `idle`.
    void deliver(const PromptAssessment& assessment, OutputMode mode, const std::vector<ConfidenceIssue>& issues,
                 std::optional<FocusTarget> target, std::optional<double> duration);
    // Pastes into `target` (bringing it back first) or copies.
    void handlePromptPreviewAction(const PromptPreviewAction& action, std::optional<FocusTarget> target);
    // Clears the clipboard and puts `text` on it, plays "Tink".
    void copy(const std::string& text);

    // The HUD line of a delivered result.
    static std::string statusLine(size_t reviewCount, bool autoCopy, bool autoPaste, OutputMode mode);

private:
    QCoro::Task<> pasteInto(FocusTarget target, std::string text);

    AppDelegate& app_;
};

}  // namespace vesk
