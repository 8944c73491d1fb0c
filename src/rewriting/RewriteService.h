#pragma once

#include <QCoro/QCoroTask>

#include <optional>
#include <string>
#include <vector>

namespace vesk {

// What the dictation controller, the prompt coach, the selection transforms and the
// voice profile need from the on-device language model. The real one is RewriteEngine;
// tests of those callers substitute a double.
class RewriteService {
public:
    virtual ~RewriteService() = default;

    // Absent when a rewrite may be attempted; otherwise a sentence for the person saying
    // why on-device rewriting cannot be used. Synchronous and cheap: it never waits on
    // the network.
    virtual std::optional<std::string> availabilityNote() = 0;

    // The same answer from a check made now, for callers that can afford to wait for it
    // (the command line). By default the cheap read.
    virtual QCoro::Task<std::optional<std::string>> checkAvailability() { co_return availabilityNote(); }

    // The model's rewrite of `text` under `instructions`, with a leading reasoning block
    // removed and trimmed; possibly empty. A fresh conversation every call. Throws
    // vesk::Error when the model cannot be reached, fails, answers unreadably or too late.
    virtual QCoro::Task<std::string> rewrite(std::string text, std::string instructions) = 0;

    // The models the configured server lists, asked now, for the person to choose from
    // (no model need be chosen yet); empty when the server cannot be asked or answers
    // nothing usable. By default none.
    virtual QCoro::Task<std::vector<std::string>> listModels() { co_return std::vector<std::string>{}; }
};

}  // namespace vesk
