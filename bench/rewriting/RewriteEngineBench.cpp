#include "core/BlockingWait.h"
#include "core/Settings.h"
#include "rewriting/ChatCompletion.h"
#include "rewriting/PromptCoach.h"
#include "rewriting/RewriteEngine.h"
#include "support/ScriptedModelServer.h"
#include "support/TestEnvironment.h"
#include "text/MeaningGuard.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <memory>

namespace {

// A rambling 200-word dictation with the literal details a rewrite must keep.
std::string dictation() {
    static const char* const kSentence =
        "so um I think we should move the launch with Maria to Friday because the budget of $1,250 is not approved "
        "yet and ";  // 25 words
    std::string text;
    for (int i = 0; i < 8; ++i) text += kSentence;
    return text;
}

const std::string kInstructions =
    "Rewrite the user's spoken draft as a strong prompt for ChatGPT.\nPreserve the user's actual intent, facts, "
    "names, language, and constraints.\nPreserve these critical details exactly: $1,250 | Maria | not";

void BM_RewriteRequestFor200Words(benchmark::State& state) {
    const std::string text = dictation();
    for (auto _ : state) benchmark::DoNotOptimize(vesk::chat::requestBody("llama3.2", kInstructions, text));
}
BENCHMARK(BM_RewriteRequestFor200Words);

void BM_RewriteAnswerFor200Words(benchmark::State& state) {
    const nlohmann::json body = {
        {"id", "chatcmpl-1"},
        {"object", "chat.completion"},
        {"choices",
         {{{"index", 0},
           {"message", {{"role", "assistant"}, {"content", "<think>\nKeep $1,250.\n</think>\n\n" + dictation()}}},
           {"finish_reason", "stop"}}}},
        {"usage", {{"prompt_tokens", 300}, {"completion_tokens", 250}}},
    };
    const std::string response = body.dump();
    for (auto _ : state) benchmark::DoNotOptimize(vesk::chat::finishAnswer(vesk::chat::answerContent(response)));
}
BENCHMARK(BM_RewriteAnswerFor200Words);

std::string completionOf(const std::string& content) {
    const nlohmann::json body = {
        {"object", "chat.completion"},
        {"choices", {{{"index", 0}, {"message", {{"role", "assistant"}, {"content", content}}}}}},
    };
    return body.dump();
}

// Everything the prompt mode computes around one model call for a 200-word dictation:
// the assessment, the guard's details and the instruction, the request body, reading the
// answer, and the guard's check of the rewrite.
void BM_PromptModeWorkAroundTheModelFor200Words(benchmark::State& state) {
    const std::string text = dictation();
    const std::string response = completionOf("<think>ok</think>\n" + text);
    for (auto _ : state) {
        const vesk::PromptAssessment assessment = vesk::PromptCoach::assess(text);
        const std::string instructions =
            std::string(vesk::PromptCoach::kPromptInstruction) + vesk::PromptCoach::detailLine(assessment.original);
        benchmark::DoNotOptimize(vesk::chat::requestBody("llama3.2", instructions, assessment.original));
        const std::string rewritten = vesk::chat::finishAnswer(vesk::chat::answerContent(response));
        benchmark::DoNotOptimize(vesk::MeaningGuard::missingDetails(assessment.original, rewritten));
    }
}
BENCHMARK(BM_PromptModeWorkAroundTheModelFor200Words)->Unit(benchmark::kMicrosecond);

void BM_MeaningGuardCheckFor200Words(benchmark::State& state) {
    const std::string text = dictation();
    for (auto _ : state) benchmark::DoNotOptimize(vesk::MeaningGuard::missingDetails(text, text));
}
BENCHMARK(BM_MeaningGuardCheckFor200Words)->Unit(benchmark::kMicrosecond);

// A whole rewrite through the engine against a loopback server that answers at once:
// settings, request, Qt's HTTP stack both ways, parsing. The model's own time is zero, so
// this is everything the engine adds around a real model call.
void BM_RewriteRoundTripOnLoopback(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "vesk_bench";
    static char* argv[] = {name, nullptr};
    static const std::unique_ptr<QCoreApplication> application =
        QCoreApplication::instance() ? nullptr : std::make_unique<QCoreApplication>(argc, argv);
    const vesk::test::ScratchHome home;
    vesk::test::ScriptedModelServer server;
    server.setModels({"llama3.2"});
    server.setFallbackChatReply(vesk::test::ScriptedReply::answer(dictation()));
    vesk::Settings::setString("rewriteEndpoint", server.endpoint());
    vesk::Settings::setString("rewriteModel", "llama3.2");
    vesk::RewriteEngine engine;
    const std::string text = dictation();
    for (auto _ : state) benchmark::DoNotOptimize(engine.rewriteAndWait(text, kInstructions));
}
BENCHMARK(BM_RewriteRoundTripOnLoopback)->Unit(benchmark::kMicrosecond);

// The synchronous availability read the interface promises is cheap: settings read
// afresh, the model list answered from the cache.
void BM_AvailabilityNoteRead(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "vesk_bench";
    static char* argv[] = {name, nullptr};
    static const std::unique_ptr<QCoreApplication> application =
        QCoreApplication::instance() ? nullptr : std::make_unique<QCoreApplication>(argc, argv);
    const vesk::test::ScratchHome home;
    vesk::test::ScriptedModelServer server;
    server.setModels({"llama3.2"});
    vesk::Settings::setString("rewriteEndpoint", server.endpoint());
    vesk::Settings::setString("rewriteModel", "llama3.2");
    vesk::RewriteEngine engine;
    if (vesk::blockingWait(engine.checkAvailability())) state.SkipWithError("the scripted model is not available");
    for (auto _ : state) benchmark::DoNotOptimize(engine.availabilityNote());
}
BENCHMARK(BM_AvailabilityNoteRead)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

}  // namespace
