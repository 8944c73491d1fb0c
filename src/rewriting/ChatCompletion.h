#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The wire format of an OpenAI-compatible chat-completions server (Ollama, llama.cpp's
// server, LM Studio, vLLM), kept free of any network code so that it can be checked and
// measured on its own.
namespace vesk::chat {

// Appended to every instruction text: the model must answer with the text alone.
inline constexpr std::string_view kOutputRule =
    "\nOutput ONLY the resulting text \xE2\x80\x94 no preamble, no quotes, no explanations.";

// The body of POST {endpoint}/chat/completions: the model, a system message made of the
// instructions and the output rule, and the text as the one user message. No sampling
// option (temperature, top_p, token limit, seed...) is set, so the model's defaults hold;
// "stream" is false so the answer arrives as one JSON document.
std::string requestBody(std::string_view model, std::string_view instructions, std::string_view text);

// The content of the first choice's message in a chat-completions answer. Throws
// std::invalid_argument when the body is not such a document.
std::string answerContent(std::string_view responseBody);

// The message of an OpenAI-style error document ({"error": {"message": ...}} or
// {"error": "..."}), when the body is one.
std::optional<std::string> errorMessage(std::string_view responseBody);

// What the model said, ready to hand on: control characters and escape sequences removed
// (removeControlCharacters), a leading reasoning scratchpad ("<think>...</think>", also
// "<thinking>") removed, then trimmed of whitespace and newlines. A
// scratchpad that is never closed leaves nothing, because the model never got to the
// answer.
std::string finishAnswer(std::string_view content);

// The model identifiers of a GET {endpoint}/models answer ({"data": [{"id": ...}]}).
// Throws std::invalid_argument when the body is not such a document.
std::vector<std::string> modelIdentifiers(std::string_view responseBody);

// Whether `model` is among `identifiers`. A name without a tag also matches its
// ":latest" form, the way Ollama resolves it.
bool listsModel(const std::vector<std::string>& identifiers, std::string_view model);

}  // namespace vesk::chat
