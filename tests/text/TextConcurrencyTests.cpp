// The formatter and the replacements are pure and share only immutable compiled
// patterns; several threads using them at once must each get what one thread gets.
// Runs under ThreadSanitizer too.
#include "support/RandomInput.h"
#include "text/LearnedStore.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"

#include <gtest/gtest.h>

#include <thread>

namespace vesk {
namespace {

TEST(TextConcurrency, ThreadsFormattingAtOnceGetTheSingleThreadedResults) {
    test::RandomInput random(5);
    std::vector<std::string> texts;
    for (int i = 0; i < 40; ++i) texts.push_back(random.chance(0.5) ? random.text(30) : random.mangledText(30));
    LearnedData learned;
    for (int i = 0; i < 10; ++i) learned.corrections.push_back({"", random.word(), random.text(2), 1});
    const std::vector<Snippet> snippets{{"", "my sig", "Regards"}, {"", "new york", "NYC"}};
    const TextFormatter formatter(TextFormatter::Dictionary{{"jira", "Jira"}, {"stra\u00DFe", "Street"}});

    const auto pipeline = [&](const std::string& text) {
        return SnippetStore::expand(LearnedStore::apply(formatter.format(text), learned), snippets) + "|" +
               formatter.formatExact(text);
    };
    std::vector<std::string> expected;
    for (const std::string& text : texts) expected.push_back(pipeline(text));

    // Each thread starts at a different text, so the same text runs in several at once.
    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < texts.size(); ++i) results[t].push_back(pipeline(texts[(i + t * 7) % texts.size()]));
        });
    for (std::thread& thread : threads) thread.join();
    for (size_t t = 0; t < results.size(); ++t)
        for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(results[t][i], expected[(i + t * 7) % texts.size()]);
}

}  // namespace
}  // namespace vesk
