#include "text/ControlCharacters.h"

#include "text/Unicode.h"

namespace vesk {
namespace {

constexpr char32_t kEscape = 0x1B;
constexpr char32_t kBell = 0x07;
constexpr char32_t kCsi = 0x9B;        // C1 form of ESC [
constexpr char32_t kStringEnd = 0x9C;  // C1 form of ESC backslash
constexpr char32_t kNextLine = 0x85;

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The C1 controls that open a string ended by ST (or, for OSC, by BEL): DCS, SOS, OSC,
// PM and APC.
bool opensString(char32_t c) { return c == 0x90 || c == 0x98 || c == 0x9D || c == 0x9E || c == 0x9F; }

// The index after a control sequence's parameters, intermediates and final byte.
size_t skipSequenceBody(std::u32string_view text, size_t i) {
    while (i < text.size() && text[i] >= 0x20 && text[i] <= 0x3F) ++i;  // parameters and intermediates
    if (i < text.size() && text[i] >= 0x40 && text[i] <= 0x7E) ++i;     // final byte
    return i;
}

// The index after a string's terminator (BEL, ST or ESC backslash), or the end.
size_t skipString(std::u32string_view text, size_t i) {
    for (; i < text.size(); ++i) {
        if (text[i] == kBell || text[i] == kStringEnd) return i + 1;
        if (text[i] == kEscape && i + 1 < text.size() && text[i + 1] == U'\\') return i + 2;
    }
    return i;
}

}  // namespace

std::string removeControlCharacters(std::string_view input) {
    bool plain = true;
    for (const char c : input) {
        const auto byte = static_cast<unsigned char>(c);
        plain = plain && ((byte >= 0x20 && byte < 0x7F) || byte == '\n' || byte == '\t');
    }
    if (plain) return std::string(input);  // nothing to remove, and no C1 without a lead byte

    const std::u32string text = unicode::codePoints(input);
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char32_t c = text[i];
        if (!isControl(c) || c == U'\n' || c == U'\t') {
            out += c;
            ++i;
        } else if (c == U'\r' || c == U'\v' || c == U'\f' || c == kNextLine) {
            out += U'\n';
            i += c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n' ? 2 : 1;
        } else if (c == kEscape && i + 1 < text.size()) {
            const char32_t next = text[i + 1];
            if (next == U'[') {
                i = skipSequenceBody(text, i + 2);
            } else if (next == U']' || next == U'P' || next == U'X' || next == U'^' || next == U'_') {
                i = skipString(text, i + 2);
            } else {
                // Two-character escapes (ESC c, ESC 7, ESC ( B...): intermediates, then one final.
                i += 1;
                while (i < text.size() && text[i] >= 0x20 && text[i] <= 0x2F) ++i;
                if (i < text.size() && text[i] >= 0x30 && text[i] <= 0x7E) ++i;
            }
        } else if (c == kCsi) {
            i = skipSequenceBody(text, i + 1);
        } else if (opensString(c)) {
            i = skipString(text, i + 1);
        } else {
            ++i;
        }
    }
    return unicode::fromCodePoints(out);
}

}  // namespace vesk
