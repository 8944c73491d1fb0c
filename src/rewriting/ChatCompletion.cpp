#include "rewriting/ChatCompletion.h"

#include "text/ControlCharacters.h"
#include "text/Unicode.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

namespace vesk::chat {
namespace {

using nlohmann::json;

json parse(std::string_view body) {
    json document = json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) throw std::invalid_argument("the answer is not JSON");
    return document;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

size_t findIgnoringCase(std::string_view text, std::string_view needle, size_t from) {
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (startsWithIgnoringCase(text.substr(i), needle)) return i;
    }
    return std::string_view::npos;
}

// Removes one leading scratchpad block; returns false when the text does not start with one.
bool dropLeadingThinking(std::string& text) {
    static constexpr std::string_view kTags[] = {"think", "thinking"};
    for (const std::string_view tag : kTags) {
        const std::string open = "<" + std::string(tag) + ">";
        if (!startsWithIgnoringCase(text, open)) continue;
        const std::string close = "</" + std::string(tag) + ">";
        const size_t end = findIgnoringCase(text, close, open.size());
        if (end == std::string_view::npos)
            text.clear();
        else
            text.erase(0, end + close.size());
        return true;
    }
    return false;
}

}  // namespace

std::string requestBody(std::string_view model, std::string_view instructions, std::string_view text) {
    std::string system(instructions);
    system += kOutputRule;
    const json body = {
        {"model", model},
        {"messages",
         json::array({{{"role", "system"}, {"content", std::move(system)}}, {{"role", "user"}, {"content", text}}})},
        {"stream", false},
    };
    // Invalid UTF-8 from a recognizer or a selection is replaced, not refused.
    return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string answerContent(std::string_view responseBody) {
    const json document = parse(responseBody);
    if (!document.is_object()) throw std::invalid_argument("the answer is not an object");
    const auto choices = document.find("choices");
    if (choices == document.end() || !choices->is_array() || choices->empty())
        throw std::invalid_argument("the answer has no choices");
    const json& first = choices->front();
    if (!first.is_object()) throw std::invalid_argument("the first choice is not an object");
    const auto message = first.find("message");
    if (message == first.end() || !message->is_object()) throw std::invalid_argument("the choice has no message");
    const auto content = message->find("content");
    // A null content is how some servers say the model produced nothing.
    if (content != message->end() && content->is_null()) return {};
    if (content == message->end() || !content->is_string())
        throw std::invalid_argument("the message has no text content");
    return content->get<std::string>();
}

std::optional<std::string> errorMessage(std::string_view responseBody) {
    const json document = json::parse(responseBody, nullptr, false);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    const auto error = document.find("error");
    if (error == document.end()) return std::nullopt;
    if (error->is_string()) return error->get<std::string>();
    if (error->is_object()) {
        const auto message = error->find("message");
        if (message != error->end() && message->is_string()) return message->get<std::string>();
    }
    return std::nullopt;
}

std::string finishAnswer(std::string_view content) {
    // The answer is pasted or printed: nothing in it may drive a terminal.
    std::string text = unicode::trimWhitespaceAndNewlines(removeControlCharacters(content));
    // A reasoning model may open with more than one block; none of it is the answer.
    while (dropLeadingThinking(text)) text = unicode::trimWhitespaceAndNewlines(text);
    return text;
}

std::vector<std::string> modelIdentifiers(std::string_view responseBody) {
    const json document = parse(responseBody);
    if (!document.is_object()) throw std::invalid_argument("the model list is not an object");
    const auto data = document.find("data");
    if (data == document.end() || !data->is_array()) throw std::invalid_argument("the model list has no data");
    std::vector<std::string> identifiers;
    for (const json& entry : *data) {
        if (!entry.is_object()) continue;
        const auto id = entry.find("id");
        if (id != entry.end() && id->is_string()) identifiers.push_back(id->get<std::string>());
    }
    return identifiers;
}

bool listsModel(const std::vector<std::string>& identifiers, std::string_view model) {
    if (model.empty()) return false;
    const bool tagged = model.find(':') != std::string_view::npos;
    const std::string latest = std::string(model) + ":latest";
    return std::any_of(identifiers.begin(), identifiers.end(),
                       [&](const std::string& id) { return id == model || (!tagged && id == latest); });
}

}  // namespace vesk::chat
