#include "core/BlockingWait.h"
#include "core/Settings.h"
#include "rewriting/ChatCompletion.h"
#include "rewriting/RewriteEngine.h"
#include "support/TestEnvironment.h"

#include "RewritingTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vesk {
namespace {

// Runs only against a real local model server named by VESK_TEST_MODEL_ENDPOINT (for
// example "http://127.0.0.1:11434/v1"), with the model VESK_TEST_MODEL (default
// "llama3.2").
TEST(RewriteEngineWithARealModel, PolishesADictation) {
    const char* endpoint = std::getenv("VESK_TEST_MODEL_ENDPOINT");
    if (!endpoint || !*endpoint)
        GTEST_SKIP() << "set VESK_TEST_MODEL_ENDPOINT to a local OpenAI-compatible server to run this test";
    const char* model = std::getenv("VESK_TEST_MODEL");
    test::ensureCoreApplication();
    test::ScratchHome home;
    test::clearRewritingSettings();
    Settings::setString("rewriteEndpoint", endpoint);
    Settings::setString("rewriteModel", model && *model ? model : "llama3.2");
    Settings::setString("rewriteTimeout", "120");
    RewriteEngine engine;
    const auto note = blockingWait(engine.checkAvailability());
    ASSERT_EQ(note, std::nullopt) << *note;
    const std::string result = engine.rewriteAndWait(
        "so um i think we should uh move the meeting to friday because maria cant make it on thursday",
        "Turn the user's spoken words into natural written language.");
    EXPECT_FALSE(result.empty());
    EXPECT_NE(result.find("Maria"), std::string::npos) << result;
    EXPECT_EQ(result, chat::finishAnswer(result)) << "the answer is trimmed and free of reasoning";
}

}  // namespace
}  // namespace vesk
