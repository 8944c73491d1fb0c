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
    std::vector<std::string_view> pieces;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (pieces.size() < 4) {
        const size_t end = input.find('\0', start);
        if (end == std::string_view::npos) break;
        pieces.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    pieces.push_back(input.substr(std::min(start, input.size())));
    pieces.resize(5);

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
