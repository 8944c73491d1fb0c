#pragma once

#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <string>
#include <string_view>

// Small conversions shared by the text passes that work on UTF-8 bytes or on ICU strings.
namespace vesk::icutext {

inline icu::UnicodeString toIcu(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

inline std::string fromIcu(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

inline bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

inline bool isValidUtf8(std::string_view text) {
    int32_t i = 0;
    const auto length = static_cast<int32_t>(text.size());
    while (i < length) {
        UChar32 c;
        U8_NEXT(text.data(), i, length, c);
        if (c < 0) return false;
    }
    return true;
}

// The text with malformed sequences replaced by U+FFFD exactly as the pattern engine
// replaces them on its way in, so that passes working on bytes give the same result.
inline std::string validUtf8(std::string_view text) {
    return isAscii(text) || isValidUtf8(text) ? std::string(text) : fromIcu(toIcu(text));
}

// Lower-cased ASCII letters; every other byte as it is.
inline std::string asciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace vesk::icutext
