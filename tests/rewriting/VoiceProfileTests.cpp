#include "rewriting/VoiceProfile.h"

#include "core/Settings.h"
#include "core/Uuid.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace vesk::VoiceProfileStore {
namespace {

TEST(VoiceProfileAnswer, ReadsTheTitleAndStyleLines) {
    const std::string forty(40, 'x');
    std::string accented;  // characters, not bytes: forty accented letters fit
    for (int i = 0; i < 40; ++i) accented += "\u00E9";
    const struct {
        std::string answer, title, summary;
    } rows[] = {
        // Quotes and a closing stop leave the title; only spaces and tabs are trimmed.
        {"  Title:  \u201CPipeline Poet.\u201D \nStyle:\t Speaks in quick, precise bursts.  ", "Pipeline Poet",
         "Speaks in quick, precise bursts."},
        {"TITLE: Deadline Whisperer\nstyle: Calm.", "Deadline Whisperer", "Calm."},
        {"Title: " + forty, forty, ""},  // an empty summary is fine
        {"Title: " + accented, accented, ""},
        // Later lines replace earlier ones, and other lines are ignored.
        {"Sure! Here it is:\nTitle: First Try\nStyle: One.\nTitle: Second Go\nStyle: Two.", "Second Go", "Two."},
    };
    for (const auto& row : rows) {
        const auto profile = parseAnswer(row.answer, 812);
        ASSERT_TRUE(profile) << row.answer;
        EXPECT_EQ(*profile, (VoiceProfile{row.title, row.summary, 812})) << row.answer;
    }
    const std::string rejected[] = {"Titles: Design Inspector\nStyle: Brisk.", "Style: Talks about pipelines.",
                                    "Title: \"\u201D.\nStyle: Nothing left of the title.", "", "Title: " + forty + "y"};
    for (const std::string& answer : rejected) EXPECT_FALSE(parseAnswer(answer, 1)) << answer;
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

TEST_F(VoiceProfileStorage, StoredDataMustHoldAllThreeKeys) {
    Settings::setBytes(kSettingsKey, R"({"title":"Pipeline Poet","summary":"Tidy."})");
    EXPECT_FALSE(load());
    Settings::setBytes(kSettingsKey, R"({"title":"Pipeline Poet","summary":"Tidy.","wordCountAtGeneration":"12"})");
    EXPECT_FALSE(load());
    Settings::setBytes(kSettingsKey, R"({"title":"Pipeline Poet","summary":"Tidy.","wordCountAtGeneration":12})");
    EXPECT_EQ(load(), (VoiceProfile{"Pipeline Poet", "Tidy.", 12}));
}

// A saved profile loads back; unreadable data it replaces is kept aside.
TEST_F(VoiceProfileStorage, SavesAndLoadsAndKeepsUnreadableDataWhenANewProfileIsSaved) {
    EXPECT_FALSE(load());
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
