#pragma once

#include "ui/AppModel.h"

#include <QCoro/QCoroTask>

#include <string>
#include <vector>

namespace vesk {

class AppDelegate;

// The local language-model server as the settings page shows it: where it is, which of
// its models rewrites, whether a server off this computer may be used, and whether
// rewriting can be tried now. The server's model list is asked for at launch, after each
// change and when the person asks; an answer overtaken by a newer question is dropped.
//
// Main thread only. Owned by the controller, which it must not outlive.
class RewritingSettings {
public:
    explicit RewritingSettings(AppDelegate& app) : app_(app) {}

    RewritingState state() const;
    void setEndpoint(const std::string& endpoint);
    void setModel(const std::string& model);
    void setAllowRemote(bool on);
    void refresh();

private:
    QCoro::Task<> ask();
    void changed();

    AppDelegate& app_;
    std::vector<std::string> serverModels_;
    int generation_ = 0;
};

}  // namespace vesk
