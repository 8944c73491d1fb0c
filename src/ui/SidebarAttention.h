#pragma once

#include "core/Hotkey.h"
#include "core/OutputMode.h"
#include "ui/AppModel.h"

#include <optional>
#include <string>

namespace vesk {

// How the attention card colours itself; the card maps each to a palette colour.
enum class AttentionTint { warning, error, limited, passive, recording, processing, review, ready };

// What the sidebar's attention card says about the dictation right now.
struct SidebarAttention {
    std::string eyebrow;
    std::string title;
    std::string detail;
    std::string icon;  // a symbol name
    AttentionTint tint = AttentionTint::passive;
    bool opensSettings = false;

    bool operator==(const SidebarAttention&) const = default;
};

// The published values the card is computed from.
struct AttentionInputs {
    UIState state = UIState::idle;
    bool micAuthorized = false;
    bool keyboardAccess = false;
    std::optional<std::string> lastError;
    bool handsFree = false;
    std::optional<std::string> transformStatus;
    size_t confidenceIssueCount = 0;
    bool autoPaste = false;
    bool autoCopy = false;
    OutputMode outputMode = OutputMode::prompt;
    Hotkey hotkey = Hotkey::rightControl;

    static AttentionInputs from(const AppModel& model);
};

// The card's content: the first row of the status table that matches wins. Pure.
SidebarAttention sidebarAttention(const AttentionInputs& inputs);

}  // namespace vesk
