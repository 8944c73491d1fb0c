#include "ui/SidebarAttention.h"

namespace vesk {

AttentionInputs AttentionInputs::from(const AppModel& model) {
    AttentionInputs inputs;
    inputs.state = model.uiState();
    inputs.micAuthorized = model.micAuthorized();
    inputs.keyboardAccess = model.axTrusted();
    inputs.lastError = model.lastError();
    inputs.handsFree = model.isHandsFree();
    inputs.transformStatus = model.transformStatus();
    inputs.confidenceIssueCount = model.confidenceIssues().size();
    inputs.autoPaste = model.autoPaste();
    inputs.autoCopy = model.autoCopy();
    inputs.outputMode = model.outputMode();
    inputs.hotkey = model.hotkey();
    return inputs;
}

SidebarAttention sidebarAttention(const AttentionInputs& in) {
    switch (in.state) {
        case UIState::idle:
            if (!in.micAuthorized)
                return {"ACTION NEEDED",  "Microphone",           "Allow access to hear input.",
                        "mic.slash.fill", AttentionTint::warning, true};
            if (in.lastError && !in.lastError->empty())
                return {"NEEDS ATTENTION",    "Try again", *in.lastError, "exclamationmark.triangle.fill",
                        AttentionTint::error, false};
            if (!in.keyboardAccess)
                return {"LIMITED MODE",
                        "Hotkey access",
                        "Enable it to dictate from any app.",
                        "keyboard.badge.ellipsis",
                        AttentionTint::limited,
                        true};
            return {"PASSIVE INPUT",
                    "Monitoring",
                    "Hold " + std::string(displayName(in.hotkey)) + " to transcribe.",
                    "waveform",
                    AttentionTint::passive,
                    false};
        case UIState::recording:
            return {"TRANSCRIBING",
                    "Listening",
                    in.handsFree ? "Tap your dictation key when finished." : "Release the key to finish.",
                    "waveform.badge.mic",
                    AttentionTint::recording,
                    false};
        case UIState::processing:
            return {"ON-DEVICE",
                    "Refining",
                    in.transformStatus.value_or("Preparing your result…"),
                    "cpu",
                    AttentionTint::processing,
                    false};
        case UIState::ready:
            if (in.confidenceIssueCount > 0)
                return {"REVIEW SUGGESTED",
                        in.confidenceIssueCount == 1 ? "Check one detail"
                                                     : "Check " + std::to_string(in.confidenceIssueCount) + " details",
                        in.autoPaste ? "Vesk paused before pasting." : "Confirm the uncertain wording below.",
                        "checkmark.shield.fill",
                        AttentionTint::review,
                        false};
            return {"RESULT READY",
                    std::string(displayName(in.outputMode)) + " ready",
                    in.autoCopy ? "Copied. Press Ctrl+V or edit it below." : "Edit or copy it below.",
                    "checkmark.circle.fill",
                    AttentionTint::ready,
                    false};
    }
    return {};
}

}  // namespace vesk
