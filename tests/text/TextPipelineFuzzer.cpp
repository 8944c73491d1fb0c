// libFuzzer entry point for the text pipeline's pure parts: one input is cut into a
// text, a second text and the three data documents, which are decoded and applied as
// the pipeline would apply them (without touching any file).
#include "text/LearnedStore.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Pieces are separated by a NUL byte: text, corrected text, dictionary, learned, snippets.
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string_view pieces[5];
    size_t count = 0;
    for (size_t end; count < 4 && (end = rest.find('\0')) != std::string_view::npos; ++count) {
        pieces[count] = rest.substr(0, end);
        rest.remove_prefix(end + 1);
    }
    pieces[count] = rest;

    const vesk::TextFormatter formatter(vesk::TextFormatter::decodeDictionary(pieces[2]));
    const auto learned = vesk::LearnedStore::decode(pieces[3]).value_or(vesk::LearnedData{});
    const auto snippets = vesk::SnippetStore::decode(pieces[4]).value_or(std::vector<vesk::Snippet>{});
    for (const std::string& formatted : {formatter.format(pieces[0]), formatter.formatExact(pieces[0])})
        (void)vesk::SnippetStore::expand(vesk::LearnedStore::apply(formatted, learned), snippets);
    (void)vesk::LearnedStore::extractCorrections(pieces[0], pieces[1]);
    if (const auto decoded = vesk::LearnedStore::decode(pieces[3]))
        (void)vesk::LearnedStore::decode(vesk::LearnedStore::encode(*decoded));
    return 0;
}
