#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

// What one clipboard item holds: MIME type → raw bytes.
using ClipboardItem = std::map<std::string, std::string>;
// A clipboard taken aside to be put back later, item by item. A Linux clipboard holds
// one item, so this list has at most one entry; an empty list is an empty clipboard.
using SavedClipboard = std::vector<ClipboardItem>;

// Marks clipboard contents written by this application, so they can be told apart.
inline constexpr const char* kOwnerMimeType = "application/x-projectvesk-owner";

// The desktop clipboard (on X11 the CLIPBOARD selection), with a change counter that
// moves on every change, our own writes included.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual SavedClipboard save() = 0;
    // Clears the clipboard and puts back the saved items; nothing for an empty list.
    virtual void restore(const SavedClipboard& saved) = 0;
    // Clears the clipboard and puts `text` on it as plain text.
    virtual void setText(const std::string& text) = 0;
    // The plain text on the clipboard; nothing when it holds no text.
    virtual std::optional<std::string> text() = 0;
    virtual std::uint64_t changeCount() const = 0;
};

}  // namespace vesk
