#include "text/EnglishPronoun.h"

#include <array>

namespace vesk {

std::string writeEnglishPronoun(std::string_view word) {
    static constexpr std::array<std::string_view, 5> kLowerCaseForms{"i", "i'm", "i've", "i'll", "i'd"};
    for (const std::string_view form : kLowerCaseForms) {
        if (word == form) return "I" + std::string(word.substr(1));
    }
    return std::string(word);
}

}  // namespace vesk
