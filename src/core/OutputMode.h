#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// How a dictation is rendered: a prompt for an assistant, a cleaned-up text, or the
// exact words. The stored values are what settings and history files hold.
enum class OutputMode { prompt, clean, exact };

inline constexpr std::array<OutputMode, 3> kAllOutputModes{OutputMode::prompt, OutputMode::clean, OutputMode::exact};

inline std::string_view storedValue(OutputMode mode) {
    switch (mode) {
        case OutputMode::prompt: return "aiReady";
        case OutputMode::clean: return "synopsis";
        case OutputMode::exact: return "verbatim";
    }
    return "aiReady";
}

inline std::string_view displayName(OutputMode mode) {
    switch (mode) {
        case OutputMode::prompt: return "Prompt";
        case OutputMode::clean: return "Clean";
        case OutputMode::exact: return "Exact";
    }
    return "Prompt";
}

// The mode for a current stored value ("aiReady", "synopsis", "verbatim"); nothing otherwise.
inline std::optional<OutputMode> outputModeFromStoredValue(std::string_view value) {
    for (const OutputMode mode : kAllOutputModes)
        if (storedValue(mode) == value) return mode;
    return std::nullopt;
}

}  // namespace vesk
