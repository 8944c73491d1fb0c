#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// A short spoken trigger and the longer text it stands for.
struct Snippet {
    std::string id;  // UUID text, upper-case
    std::string trigger;
    std::string expansion;

    bool operator==(const Snippet&) const = default;
};

// Expands snippet triggers, the last step of the text pipeline. "snippets.json" is kept
// by the person by hand; the program only reads it, afresh on every call.
namespace SnippetStore {

// "snippets.json" in the support directory.
std::filesystem::path filePath();

// The stored snippets; nothing when the file is missing, unreadable (DataFile::read: not
// a regular file, over 16 MB) or not an array of objects each with a UUID "id" and
// string "trigger" and "expansion".
std::optional<std::vector<Snippet>> load();
std::optional<std::vector<Snippet>> decode(std::string_view json);

// Every trigger (trimmed of spaces and tabs) replaced by its expansion, longest trigger
// first, whole words, case-insensitive, the expansion inserted exactly as stored. Blank
// triggers are skipped; a bad or missing file leaves the text as it is.
std::string expand(std::string_view text);
std::string expand(std::string_view text, const std::vector<Snippet>& snippets);

}  // namespace SnippetStore
}  // namespace vesk
