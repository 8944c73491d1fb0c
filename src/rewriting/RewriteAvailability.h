#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vesk {

// The availability notes the person sees, one per kind of reason.
namespace rewriteNotes {
inline constexpr const char* kOffMachine =
    "The configured rewriting server is not on this computer, so on-device rewriting is off.";
inline constexpr const char* kNoModel = "Choose a local language model in Settings to power on-device rewriting.";
inline constexpr const char* kNotReady = "The on-device model is still downloading \xE2\x80\x94 try again in a bit.";
inline constexpr const char* kUnavailable = "The on-device model is unavailable.";
}  // namespace rewriteNotes

// What lies behind an availability note: what was tried and what was found, so that the
// console's settings page, a setup check and the log can say more than the note. A plain
// value; the note itself stays exactly one of rewriteNotes.
struct AvailabilityReason {
    enum class Kind {
        available,       // the server lists the configured model
        unchecked,       // the server has not answered a first check yet
        notUrl,          // "rewriteEndpoint" is not a URL with a host
        notHttp,         // "rewriteEndpoint" is a URL, but not http or https
        offMachine,      // the endpoint is not on this computer and remote rewriting is off
        noModel,         // "rewriteModel" is empty
        refused,         // nothing accepted the connection at the endpoint
        timedOut,        // the server did not list its models in time
        failed,          // the model list failed otherwise (see `detail`)
        loading,         // the server answered 503: it is loading the model
        modelNotListed,  // the server runs but lists no model named as configured
    };

    Kind kind = Kind::unchecked;
    std::string endpoint;                   // "rewriteEndpoint" as configured
    std::string model;                      // "rewriteModel" as configured
    std::vector<std::string> listedModels;  // modelNotListed: what the server does list
    std::string settingsFile;               // noModel: the settings file that holds the key
    std::string detail;                     // failed: the status or network error

    // The note the person sees for this reason; nothing when a rewrite may be tried.
    std::optional<std::string> note() const;
    // One sentence naming what was tried and what was found, for the console, a setup
    // check and the log.
    std::string description() const;

    bool operator==(const AvailabilityReason&) const = default;
};

}  // namespace vesk
