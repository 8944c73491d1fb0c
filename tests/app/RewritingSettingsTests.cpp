// The rewriting server on the settings page: its settings written through the controller,
// its model list asked for at launch and after changes, and a slow answer overtaken by a
// newer one dropped.

#include "app/ControllerRig.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

TEST(RewritingSettings, LaunchAndChangesAskTheServerForItsModels) {
    ControllerRig rig;
    rig.rewriter->models = {"llama3.2", "qwen2.5"};
    rig.rewriter->note = "Choose a model for on-device rewriting.";
    AppDelegate& app = rig.start();
    app.applicationDidFinishLaunching();
    ASSERT_TRUE(spinUntil([&] { return !app.rewritingState()->serverModels.empty(); }));
    RewritingState state = *app.rewritingState();
    EXPECT_EQ(state.serverModels, (std::vector<std::string>{"llama3.2", "qwen2.5"}));
    EXPECT_EQ(state.availabilityNote, "Choose a model for on-device rewriting.");

    int changes = 0;
    QObject::connect(&app, &AppModel::rewritingStateChanged, [&] { ++changes; });
    app.setRewriteModel("qwen2.5");
    EXPECT_EQ(Settings::string("rewriteModel"), "qwen2.5");
    EXPECT_EQ(app.rewritingState()->model, "qwen2.5");
    app.setAllowRemoteRewriting(true);
    EXPECT_EQ(Settings::boolean("allowRemoteRewriting"), true);
    EXPECT_TRUE(app.rewritingState()->allowRemote);
    app.setRewriteModel("qwen2.5");  // unchanged: nothing to do
    EXPECT_GE(changes, 2);

    // Another server: its list replaces the old one, which is never shown for it.
    rig.rewriter->models = {"mistral"};
    rig.rewriter->listDelay = 200ms;
    app.setRewriteEndpoint("http://127.0.0.1:8080/v1");
    EXPECT_EQ(Settings::string("rewriteEndpoint"), "http://127.0.0.1:8080/v1");
    EXPECT_TRUE(app.rewritingState()->serverModels.empty());
    EXPECT_TRUE(spinUntil([&] { return app.rewritingState()->serverModels == std::vector<std::string>{"mistral"}; }));
}

TEST(RewritingSettings, AnAnswerOvertakenByANewerQuestionIsDropped) {
    ControllerRig rig;
    AppDelegate& app = rig.start();
    rig.rewriter->models = {"old"};
    rig.rewriter->listDelay = 300ms;
    app.refreshRewritingModels();
    rig.rewriter->models = {"new"};
    rig.rewriter->listDelay = 0ms;
    app.refreshRewritingModels();
    ASSERT_TRUE(spinUntil([&] { return !app.rewritingState()->serverModels.empty(); }));
    spinFor(500ms);
    EXPECT_EQ(app.rewritingState()->serverModels, std::vector<std::string>{"new"});
    EXPECT_EQ(rig.rewriter->modelListings, 2);
}

}  // namespace
}  // namespace vesk::test
