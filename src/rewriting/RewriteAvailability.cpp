#include "rewriting/RewriteAvailability.h"

namespace vesk {

std::optional<std::string> AvailabilityReason::note() const {
    switch (kind) {
        case Kind::available:
        case Kind::unchecked: return std::nullopt;
        case Kind::offMachine: return rewriteNotes::kOffMachine;
        case Kind::noModel: return rewriteNotes::kNoModel;
        case Kind::loading:
        case Kind::modelNotListed: return rewriteNotes::kNotReady;
        case Kind::notUrl:
        case Kind::notHttp:
        case Kind::refused:
        case Kind::timedOut:
        case Kind::failed: return rewriteNotes::kUnavailable;
    }
    return rewriteNotes::kUnavailable;
}

std::string AvailabilityReason::description() const {
    const std::string server = "The language model server at " + endpoint;
    switch (kind) {
        case Kind::available: return server + " lists the model \"" + model + "\".";
        case Kind::unchecked: return server + " has not answered yet.";
        case Kind::notUrl: return "The rewriting endpoint \"" + endpoint + "\" (rewriteEndpoint) is not a URL.";
        case Kind::notHttp:
            return "The rewriting endpoint " + endpoint + " (rewriteEndpoint) does not use http or https.";
        case Kind::offMachine:
            return "The rewriting endpoint " + endpoint +
                   " is not on this computer, and allowRemoteRewriting is not set to true.";
        case Kind::noModel:
            return "No language model is configured: set rewriteModel in " + settingsFile +
                   " to a model your server lists.";
        case Kind::refused: return server + " refused the connection: is the server running?";
        case Kind::timedOut: return server + " did not list its models in time.";
        case Kind::failed: return server + " could not list its models: " + detail + ".";
        case Kind::loading: return server + " is still loading its model.";
        case Kind::modelNotListed: {
            std::string listed;
            for (const std::string& name : listedModels) listed += (listed.empty() ? "\"" : ", \"") + name + "\"";
            return server + " runs but lists no model named \"" + model + "\"" +
                   (listed.empty() ? "; it lists no models." : "; it lists " + listed + ".");
        }
    }
    return server + ".";
}

}  // namespace vesk
