#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk::test {

// One scripted answer of the model server.
struct ScriptedReply {
    enum class Kind { respond, drop };
    Kind kind = Kind::respond;
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // sent besides the framing ones
    std::chrono::milliseconds delay{0};

    // A chat completion whose one choice says `content`.
    static ScriptedReply answer(const std::string& content);
    // Any status and body, sent as JSON.
    static ScriptedReply raw(int status, std::string body);
    // An OpenAI-style error document with this status.
    static ScriptedReply httpError(int status, const std::string& message);
    // Reads the request, then closes the connection without a word.
    static ScriptedReply dropConnection();
    // The same reply, sent only after `wait`.
    ScriptedReply after(std::chrono::milliseconds wait) const;
};

// A request the server received, with the chat fields picked out of its JSON body.
struct RecordedRequest {
    std::string method;
    std::string path;
    std::string body;
    nlohmann::json json;  // null when the body is not JSON
    std::string model;
    std::string systemMessage;  // content of the first message when its role is "system"
    std::string userMessage;    // content of the last message when its role is "user"
    size_t messageCount = 0;
    std::vector<std::string> topLevelKeys;
};

// A stand-in for a local OpenAI-compatible model server (Ollama, llama.cpp's server) on
// 127.0.0.1: GET /v1/models lists the scripted models, POST /v1/chat/completions answers
// from a script, and every request is recorded. It serves HTTP/1.1 with keep-alive on a
// thread of its own, so it answers while the test's thread waits on a child process or
// runs its own event loop. Scripting may be changed at any time from the test's thread.
class ScriptedModelServer {
public:
    // Listens on a free port of 127.0.0.1 at once.
    ScriptedModelServer();
    ~ScriptedModelServer();
    ScriptedModelServer(const ScriptedModelServer&) = delete;
    ScriptedModelServer& operator=(const ScriptedModelServer&) = delete;

    std::uint16_t port() const;
    // "http://127.0.0.1:<port>/v1"
    std::string endpoint() const;

    // The identifiers GET /v1/models lists (none at first).
    void setModels(std::vector<std::string> identifiers);
    // Replaces the model list with this reply (for a server that fails or is loading).
    void setModelListReply(std::optional<ScriptedReply> reply);
    // Chat answers are taken from a queue in order; once it is empty every chat request
    // gets the fallback reply (at first an HTTP 500 saying nothing was scripted).
    void enqueueChatReply(ScriptedReply reply);
    void setFallbackChatReply(ScriptedReply reply);

    // Stops listening and drops every open connection; start() listens again on the same port.
    void stop();
    void start();

    std::vector<RecordedRequest> chatRequests() const;
    size_t modelListRequests() const;
    void clearRecords();

private:
    class Worker;
    class Thread;
    std::unique_ptr<Thread> thread_;
};

}  // namespace vesk::test
