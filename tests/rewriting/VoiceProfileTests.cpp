#include "rewriting/VoiceProfile.h"

#include "app/Settings.h"
#include "app/Uuid.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vesk::VoiceProfileStore {
namespace {

TEST(VoiceProfileAnswer, ReadsQuotedTitleAndStyleSentence) {
    const auto profile =
        parseAnswer("  Title:  \u201CPipeline Poet.\u201D \nStyle:\t Speaks in quick, precise bursts.  ", 812);
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->title, "Pipeline Poet");
    EXPECT_EQ(profile->summary, "Speaks in quick, precise bursts.");  // only spaces and tabs are trimmed
    EXPECT_EQ(profile->wordCountAtGeneration, 812);
}

TEST(VoiceProfileAnswer, PrefixesIgnoreCaseButMustBeExact) {
    const auto upper = parseAnswer("TITLE: Deadline Whisperer\nstyle: Calm.", 3);
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->title, "Deadline Whisperer");
    EXPECT_EQ(upper->summary, "Calm.");
    EXPECT_FALSE(parseAnswer("Titles: Design Inspector\nStyle: Brisk.", 3));
}

TEST(VoiceProfileAnswer, NeedsAUsableTitle) {
    EXPECT_FALSE(parseAnswer("Style: Talks about pipelines.", 1));
    EXPECT_FALSE(parseAnswer("Title: \"\u201D.\nStyle: Nothing left of the title.", 1));
    EXPECT_FALSE(parseAnswer("", 1));
    const std::string forty(40, 'x');
    const auto accepted = parseAnswer("Title: " + forty, 1);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->title, forty);
    EXPECT_EQ(accepted->summary, "");  // an empty summary is fine
    EXPECT_FALSE(parseAnswer("Title: " + forty + "y", 1));
    // Characters, not bytes: forty accented letters fit.
    std::string accented;
    for (int i = 0; i < 40; ++i) accented += "\u00E9";
    EXPECT_TRUE(parseAnswer("Title: " + accented, 1));
}

TEST(VoiceProfileAnswer, LaterLinesReplaceEarlierOnesAndOthersAreIgnored) {
    const auto profile =
        parseAnswer("Sure! Here it is:\nTitle: First Try\nStyle: One.\nTitle: Second Go\nStyle: Two.", 9);
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->title, "Second Go");
    EXPECT_EQ(profile->summary, "Two.");
}

TEST(VoiceProfileSample, TakesTheFirstThirtyTranscriptsCutAtFourThousandCharacters) {
    std::vector<HistoryEntry> entries;
    for (int i = 0; i < 50; ++i) entries.push_back({makeUuid(), "t" + std::to_string(i), "", 0, {}, {}});
    const std::string sample = sampleText(entries);
    EXPECT_EQ(sample.substr(0, 6), "t0\nt1\n");
    EXPECT_NE(sample.find("\nt29"), std::string::npos);
    EXPECT_EQ(sample.find("t30"), std::string::npos);
    EXPECT_EQ(sample.back(), '9');

    std::vector<HistoryEntry> wordy{{"", std::string(3000, 'a'), "", 0, {}, {}},
                                    {"", "\u00E9" + std::string(2000, 'b'), "", 0, {}, {}}};
    const std::string cut = sampleText(wordy);
    // 3000 + line feed + é + 998 letters: cut in the middle of the second word.
    EXPECT_EQ(cut, std::string(3000, 'a') + "\n\u00E9" + std::string(998, 'b'));
    EXPECT_EQ(sampleText({}), "");
}

class VoiceProfileStorage : public ::testing::Test {
protected:
    test::ScratchHome home;
};

TEST_F(VoiceProfileStorage, SavesAndLoadsThroughTheSettings) {
    EXPECT_FALSE(load());
    const VoiceProfile profile{"Pipeline Poet", "Talks in tidy steps.", 4210};
    save(profile);
    EXPECT_EQ(load(), profile);
    const auto stored = Settings::bytes(kSettingsKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(decode(*stored), profile);
}

TEST_F(VoiceProfileStorage, StoredDataMustHoldAllThreeKeys) {
    Settings::setBytes(kSettingsKey, R"({"title":"Pipeline Poet","summary":"Tidy."})");
    EXPECT_FALSE(load());
    Settings::setBytes(kSettingsKey, R"({"title":"Pipeline Poet","summary":"Tidy.","wordCountAtGeneration":"12"})");
    EXPECT_FALSE(load());
    Settings::setBytes(kSettingsKey, R"({"title":"Pipeline Poet","summary":"Tidy.","wordCountAtGeneration":12})");
    EXPECT_EQ(load(), (VoiceProfile{"Pipeline Poet", "Tidy.", 12}));
}

TEST_F(VoiceProfileStorage, UnreadableDataIsKeptWhenANewProfileIsSaved) {
    const std::string garbage = "\x01{not json at all";
    Settings::setBytes(kSettingsKey, garbage);
    EXPECT_FALSE(load());
    save({"Deadline Whisperer", "Fast.", 7});
    EXPECT_EQ(load(), (VoiceProfile{"Deadline Whisperer", "Fast.", 7}));
    EXPECT_EQ(Settings::bytes(kUnreadableSettingsKey), garbage);
    // Replacing a readable profile keeps no copy.
    save({"Pipeline Poet", "Tidy.", 9});
    EXPECT_EQ(Settings::bytes(kUnreadableSettingsKey), garbage);
}

}  // namespace
}  // namespace vesk::VoiceProfileStore
