#include "system/KeyLayout.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace vesk {
namespace {

// XKB key codes are the kernel's plus 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// One value of a shell-style KEY="value" file, without quotes; empty when absent.
std::string fileValue(const std::filesystem::path& file, const std::string& key) {
    std::ifstream in(file);
    std::string found;
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with(key + "=")) continue;
        found = line.substr(key.size() + 1);
        if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') && found.back() == found.front())
            found = found.substr(1, found.size() - 2);
    }
    return found;
}

}  // namespace

LayoutNames sessionLayoutNames(const std::filesystem::path& keyboardFile) {
    const auto pick = [&](const char* variable, const char* fileKey) {
        std::string value = environment(variable);
        return value.empty() ? fileValue(keyboardFile, fileKey) : value;
    };
    return {pick("XKB_DEFAULT_RULES", "XKBRULES"), pick("XKB_DEFAULT_MODEL", "XKBMODEL"),
            pick("XKB_DEFAULT_LAYOUT", "XKBLAYOUT"), pick("XKB_DEFAULT_VARIANT", "XKBVARIANT"),
            pick("XKB_DEFAULT_OPTIONS", "XKBOPTIONS")};
}

std::optional<KeyLayout> KeyLayout::compile(const LayoutNames& names) {
    // No environment: the names given are the whole story.
    const std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context) return std::nullopt;
    const auto orNull = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
    const xkb_rule_names rules{orNull(names.rules), orNull(names.model), orNull(names.layout), orNull(names.variant),
                               orNull(names.options)};
    const std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
        xkb_keymap_new_from_names(context.get(), &rules, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) return std::nullopt;
    const std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(keymap.get()));
    if (!state) return std::nullopt;

    KeyLayout layout;
    // The lowest key code wins, so a letter on some extra key never beats the main block.
    for (xkb_keycode_t code = std::max(xkb_keymap_min_keycode(keymap.get()), kEvdevOffset);
         code <= xkb_keymap_max_keycode(keymap.get()); ++code) {
        const std::uint32_t character = xkb_state_key_get_utf32(state.get(), code);
        if (character < 'a' || character > 'z') continue;
        int& key = layout.keys_[character - 'a'];
        if (key == 0) key = static_cast<int>(code - kEvdevOffset);
    }
    return layout;
}

KeyLayout KeyLayout::qwerty() {
    KeyLayout layout;
    layout.keys_ = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
                    KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    return layout;
}

std::optional<int> KeyLayout::keyFor(char letter) const {
    if (letter < 'a' || letter > 'z') return std::nullopt;
    const int key = keys_[static_cast<std::size_t>(letter - 'a')];
    if (key == 0) return std::nullopt;
    return key;
}

}  // namespace vesk
