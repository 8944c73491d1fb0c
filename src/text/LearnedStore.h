#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// One learned replacement: what the recognizer wrote and what the person wanted.
struct LearnedCorrection {
    std::string id;  // upper-case UUID text
    std::string heard;
    std::string intended;
    std::int64_t timesSeen = 1;

    bool operator==(const LearnedCorrection&) const = default;
};

// The whole learned document: corrections and vocabulary terms, oldest first.
struct LearnedData {
    std::vector<LearnedCorrection> corrections;
    std::vector<std::string> terms;

    bool operator==(const LearnedData&) const = default;
};

// A replaced word run found between a transcript and its corrected version.
struct CorrectionPair {
    std::string heard;
    std::string intended;

    bool operator==(const CorrectionPair&) const = default;
};

// What the person taught the program: corrections applied to every transcript and
// vocabulary handed to the recognizer as bias terms. No cache: every call reads
// "learned.json" afresh and every change writes the whole file back atomically.
namespace LearnedStore {

inline constexpr std::size_t kMaxCorrections = 300;
inline constexpr std::size_t kMaxTerms = 300;
inline constexpr std::size_t kMaxBiasTerms = 300;

// "learned.json" in the support directory.
std::filesystem::path filePath();

// Every learned correction applied to `text`, longest heard form first, whole words,
// case-insensitive, intended forms inserted as written.
std::string apply(std::string_view text);
std::string apply(std::string_view text, const LearnedData& data);

// Up to 300 terms for the recognizer: learned terms, intended forms, the dictionary's
// written forms and the snippet triggers, each spelling once (compared lower-cased).
std::vector<std::string> biasTerms();

// Learns one correction (or, when the pair is not a useful mapping, the intended form
// as a term) and saves.
void add(std::string_view heard, std::string_view intended);
// Learns one vocabulary term and saves.
void addTerm(std::string_view term);

// The word-level diff: short replaced runs (1 to 4 words on each side) between a
// transcript and the person's corrected version. Pure.
std::vector<CorrectionPair> extractCorrections(std::string_view original, std::string_view corrected);

// The built-in check of the diff, one line per case; true when every case passed.
bool runSelfTest();
bool runSelfTest(const std::function<void(const std::string&)>& printLine);

// --- The pieces the operations above are made of ---

// The file's document; nothing when it is missing, unreadable (DataFile::read: not a
// regular file, over 16 MB) or does not decode.
std::optional<LearnedData> load();
// Strict reading: an object with "corrections" and "terms", every correction with "id"
// (a UUID in either case, kept upper-case), "heard", "intended" and an integer
// "timesSeen". Anything else gives nothing.
std::optional<LearnedData> decode(std::string_view json);
// Compact JSON with upper-case UUIDs.
std::string encode(const LearnedData& data);
// Writes the document atomically. A file that exists but could not be read or decoded
// is first moved aside, so a save never erases what the person taught before; if it
// cannot be moved, nothing is written. Returns whether the document was written.
bool save(const LearnedData& data);

// At least 2 characters heard, something intended, and more than a change of case.
bool isUsefulMapping(std::string_view heard, std::string_view intended);
// Adds a term unless it is empty or already there ignoring case; keeps the newest 300.
void appendTerm(std::string_view term, LearnedData& data);

}  // namespace LearnedStore
}  // namespace vesk
