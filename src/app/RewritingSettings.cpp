#include "app/RewritingSettings.h"

#include "app/AppDelegate.h"
#include "core/Settings.h"
#include "rewriting/RewriteEngine.h"

#include <QPointer>

namespace vesk {

RewritingState RewritingSettings::state() const {
    const RewriteConfiguration configuration = RewriteConfiguration::fromSettings();
    RewritingState state;
    state.endpoint = configuration.endpoint;
    state.model = configuration.model;
    state.serverModels = serverModels_;
    state.allowRemote = configuration.allowRemote;
    state.availabilityNote = app_.services().rewriter->availabilityNote().value_or("");
    return state;
}

void RewritingSettings::changed() { emit app_.rewritingStateChanged(); }

void RewritingSettings::setEndpoint(const std::string& endpoint) {
    if (endpoint == RewriteConfiguration::fromSettings().endpoint) return;
    Settings::setString("rewriteEndpoint", endpoint);
    // Another server lists other models.
    serverModels_.clear();
    changed();
    refresh();
}

void RewritingSettings::setModel(const std::string& model) {
    if (model == RewriteConfiguration::fromSettings().model) return;
    Settings::setString("rewriteModel", model);
    changed();
    refresh();
}

void RewritingSettings::setAllowRemote(bool on) {
    if (on == RewriteConfiguration::fromSettings().allowRemote) return;
    Settings::setBoolean("allowRemoteRewriting", on);
    changed();
    refresh();
}

void RewritingSettings::refresh() { ask(); }

QCoro::Task<> RewritingSettings::ask() {
    const int generation = ++generation_;
    QPointer<AppDelegate> self(&app_);
    const std::shared_ptr<RewriteService> rewriter = app_.services().rewriter;
    // The engine renews its availability note from the same answer.
    QCoro::Task<std::vector<std::string>> listing = rewriter->listModels();
    std::vector<std::string> models = co_await std::move(listing);
    if (!self || generation != generation_) co_return;
    serverModels_ = std::move(models);
    changed();
}

}  // namespace vesk
