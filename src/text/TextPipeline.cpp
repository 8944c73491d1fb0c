#include "text/TextPipeline.h"

#include "text/ControlCharacters.h"
#include "text/LearnedStore.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"

namespace vesk::TextPipeline {

std::string clean(std::string_view text) {
    const TextFormatter formatter(TextFormatter::loadDictionary());
    return SnippetStore::expand(LearnedStore::apply(formatter.format(removeControlCharacters(text))));
}

std::string exact(std::string_view text) {
    const TextFormatter formatter(TextFormatter::loadDictionary());
    return SnippetStore::expand(LearnedStore::apply(formatter.formatExact(removeControlCharacters(text))));
}

}  // namespace vesk::TextPipeline
