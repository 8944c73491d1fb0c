#include "text/SnippetStore.h"

#include "core/AppPaths.h"
#include "core/Uuid.h"
#include "text/DataFile.h"
#include "text/JsonDocument.h"
#include "text/Unicode.h"
#include "text/WholeWordReplacer.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace vesk::SnippetStore {

std::filesystem::path filePath() { return AppPaths::supportDirectory() / "snippets.json"; }

std::optional<std::vector<Snippet>> decode(std::string_view json) {
    const auto parsed = parseJsonDocument(json, 2);
    if (!parsed || !parsed->is_array()) return std::nullopt;
    const nlohmann::json& document = *parsed;
    std::vector<Snippet> snippets;
    snippets.reserve(document.size());
    for (const auto& item : document) {
        if (!item.is_object()) return std::nullopt;
        const auto id = item.find("id");
        const auto trigger = item.find("trigger");
        const auto expansion = item.find("expansion");
        if (id == item.end() || trigger == item.end() || expansion == item.end()) return std::nullopt;
        if (!id->is_string() || !trigger->is_string() || !expansion->is_string()) return std::nullopt;
        Snippet snippet;
        if (!readUuid(id->get<std::string>(), &snippet.id)) return std::nullopt;
        snippet.trigger = trigger->get<std::string>();
        snippet.expansion = expansion->get<std::string>();
        snippets.push_back(std::move(snippet));
    }
    return snippets;
}

std::optional<std::vector<Snippet>> load() {
    const auto bytes = DataFile::read(filePath());
    if (!bytes) return std::nullopt;
    return decode(*bytes);
}

std::string expand(std::string_view text) {
    const auto snippets = load();
    if (!snippets) return std::string(text);
    return expand(text, *snippets);
}

std::string expand(std::string_view text, const std::vector<Snippet>& snippets) {
    struct Entry {
        size_t length;  // of the trigger as stored, before trimming
        WholeWordRule rule;
    };
    std::vector<Entry> entries;
    for (const Snippet& snippet : snippets) {
        std::string trigger = unicode::trimHorizontalWhitespace(snippet.trigger);
        if (trigger.empty()) continue;
        entries.push_back({characterCount(snippet.trigger), {std::move(trigger), snippet.expansion}});
    }
    if (entries.empty()) return std::string(text);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.length > b.length; });
    std::vector<WholeWordRule> rules;
    rules.reserve(entries.size());
    for (Entry& entry : entries) rules.push_back(std::move(entry.rule));
    return replaceWholeWords(text, rules);
}

}  // namespace vesk::SnippetStore
