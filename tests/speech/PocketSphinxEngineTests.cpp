#include "SpeechTestAssets.h"
#include "audio/AudioBufferConverter.h"
#include "audio/AudioFile.h"
#include "speech/PocketSphinxEngine.h"

#include <gtest/gtest.h>

namespace vesk::test {
namespace {

std::vector<float> samplesOf(const std::filesystem::path& file) { return monoSamples(readAudioFile(file), 16000); }

PocketSphinxEngine englishEngine() { return PocketSphinxEngine(*PocketSphinxModel::forLocale("en-US")); }

TEST(PocketSphinxModel, OnlyEnglishLocalesHaveAModel) {
    EXPECT_TRUE(PocketSphinxModel::forLocale("en-US").has_value());
    EXPECT_TRUE(PocketSphinxModel::forLocale("en_GB").has_value());
    EXPECT_TRUE(PocketSphinxModel::forLocale("en-US")->isInstalled());
    EXPECT_FALSE(PocketSphinxModel::forLocale("de-DE").has_value());
    EXPECT_FALSE(PocketSphinxModel::forLocale("eno").has_value());
}

TEST(PocketSphinxEngine, WordsCarryPosteriorsAndTheNBestListGivesAlternatives) {
    auto engine = englishEngine();
    const auto results = engine.recognize(samplesOf(assets::libriVox("0930")), std::nullopt);
    ASSERT_FALSE(results.empty());
    std::string text;
    size_t alternatives = 0;
    for (const RecognitionResult& result : results) {
        EXPECT_TRUE(result.isFinal);
        for (const auto& run : result.text.runs) {
            ASSERT_TRUE(run.confidence.has_value()) << run.text;
            EXPECT_GE(*run.confidence, 0.0);
            EXPECT_LE(*run.confidence, 1.0);
            EXPECT_EQ(run.text.find('('), std::string::npos) << "pronunciation variants are not words";
            EXPECT_EQ(run.text.find('<'), std::string::npos) << "silences are not words";
        }
        for (const auto& alternative : result.alternatives) {
            EXPECT_NE(alternative.plainText(), result.text.plainText());
            ++alternatives;
        }
        text += result.text.plainText() + " ";
    }
    EXPECT_NE(text.find("he might even have been made"), std::string::npos) << text;
    EXPECT_GE(alternatives, 1u);
}

// Every recognition starts from the same channel estimate: what an earlier recognition on
// a pooled decoder heard (here cancelled live starts that caught a moment of a muted
// microphone, as a double tap of the dictation key leaves) never changes the next result.
TEST(PocketSphinxEngine, SilenceGivesNoResultAndEachRecognitionIsIndependentOfTheOnesBefore) {
    auto engine = englishEngine();
    const std::vector<float> speech = samplesOf(assets::goForwardWav(::testing::TempDir()));
    const auto textOf = [](const std::vector<RecognitionResult>& results) {
        std::string text;
        for (const RecognitionResult& result : results) text += result.text.plainText();
        return text;
    };
    const std::string first = textOf(engine.recognize(speech, std::nullopt));
    EXPECT_EQ(first, "go forward ten meters");
    // Silence gives no result, and a muted microphone delivers exact zeros.
    EXPECT_TRUE(engine.recognize(std::vector<float>(16000 * 2, 0.0f), std::nullopt).empty());
    EXPECT_TRUE(engine.recognize({}, std::nullopt).empty());
    const std::vector<float> muted(16000 / 10, 0.0f);
    for (int round = 0; round < 3; ++round) {
        auto live = engine.startLive(std::nullopt, [](RecognitionResult) {});
        live->accept(muted);
    }
    EXPECT_EQ(textOf(engine.recognize(speech, std::nullopt)), first);
}

}  // namespace
}  // namespace vesk::test
