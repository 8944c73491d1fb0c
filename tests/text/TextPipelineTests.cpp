#include "support/TestEnvironment.h"
#include "text/TextPipeline.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

const char* const kSnippets =
    R"([{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C8", "trigger": "my sig", "expansion": "kind regards, $1 ann"}])";
const char* const kLearned =
    R"({"corrections": [{"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430C9", "heard": "mice sig", "intended": "my sig",
         "timesSeen": 2}, {"id": "6BA7B810-9DAD-41D1-80B4-00C04FD430CA", "heard": "um", "intended": "UMBRELLA",
         "timesSeen": 1}], "terms": []})";

// Every file is read afresh on each call.
TEST(TextPipeline, FormatsThenCorrectsThenExpandsWithTheFilesOfTheMoment) {
    test::ScratchHome home;
    EXPECT_EQ(TextPipeline::clean("mice sig"), "Mice sig.");
    home.writeSupportFile("learned.json", kLearned);
    EXPECT_EQ(TextPipeline::clean("mice sig"), "my sig.");
    home.writeSupportFile("snippets.json", kSnippets);
    home.writeSupportFile("dictionary.json", R"({"jira": "Jira"})");
    // The formatter drops "um" before the learned pair for it could apply; the learned
    // form is then expanded, and the expansion is not formatted again.
    EXPECT_EQ(TextPipeline::clean("um, jira new line mice sig"), "Jira\nkind regards, $1 ann.");
    EXPECT_EQ(TextPipeline::exact("um, jira"), "UMBRELLA, Jira.");
    home.writeSupportFile("learned.json", "[]");
    EXPECT_EQ(TextPipeline::clean("mice sig"), "Mice sig.");
    EXPECT_EQ(TextPipeline::exact("\x1B[1mum\x1B[0m \x07ok"), "Um ok.");
}

// The executable itself: what a person typing the command sees.
TEST(FormatProcess, PrintsTheCleanReadingOfTheWholePipelineAndSurvivesBadFiles) {
    test::ScratchHome home;
    const auto format = [](const std::string& text) {
        const auto result = test::runProcess(test::projectVeskExecutable(), {"--format", text});
        EXPECT_EQ(result.exitCode, 0) << text;
        return result;
    };
    home.writeSupportFile("dictionary.json", R"({"jira": "Jira"})");
    const auto first = format("um so new line hello jira");
    EXPECT_EQ(first.out, "So\nHello Jira.\n");
    EXPECT_EQ(first.err, "");

    home.writeSupportFile("learned.json", kLearned);
    home.writeSupportFile("snippets.json", kSnippets);
    EXPECT_EQ(format("uh mice sig").out, "kind regards, $1 ann.\n");

    home.writeSupportFile("dictionary.json", R"(["jira", "Jira"])");
    home.writeSupportFile("learned.json", std::string(3 << 20, '['));
    home.writeSupportFile("snippets.json", "{\"truncated");
    EXPECT_EQ(format("jira \xFF ok").out, "Jira \uFFFD ok.\n");
    EXPECT_EQ(home.readSupportFile("learned.json").size(), 3u << 20) << "formatting only reads";

    // Terminal controls in the text never reach the output.
    EXPECT_EQ(format("\x1B]0;owned\x07hello\x1B[31m world\x07\rnew line\u009B"
                     "2J done")
                  .out,
              "Hello world\nDone.\n");
    EXPECT_EQ(format("  \n ").out, "\n");
}

}  // namespace
}  // namespace vesk
