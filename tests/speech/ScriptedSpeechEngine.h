#pragma once

#include "core/Error.h"
#include "speech/SpeechEngine.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace vesk::test {

// A stand-in recognizer for the transcriber's own logic: it answers each live buffer with
// the next scripted results, can hold a buffer until released (to make recognition slow),
// and records what it was given.
class ScriptedSpeechEngine final : public SpeechEngine {
public:
    // Results delivered after the n-th accepted buffer (0-based); the rest on finish.
    std::vector<std::vector<RecognitionResult>> livePerBuffer;
    std::vector<RecognitionResult> liveOnFinish;
    std::vector<RecognitionResult> fileResults;
    bool failOnAccept = false;

    std::atomic<bool> installed = true;
    bool installable = false;
    bool installFails = false;
    std::atomic<int> installCalls = 0;
    std::optional<std::string> deferral;  // installDeferral's answer

    std::string name() const override { return "scripted"; }
    bool isModelInstalled() const override { return installed; }
    bool canInstallModel() const override { return installable; }
    std::optional<std::string> installDeferral() const override { return deferral; }
    void installModel() override {
        ++installCalls;
        {
            std::unique_lock lock(mutex_);
            installing_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !holdingInstall_; });
            installing_ = false;
        }
        if (installFails) throw Error("ModelDownload", 5, "The download was interrupted.");
        installed = true;
    }

    // Holding an install: installModel waits until releaseInstall() (a slow download).
    void holdInstall() { set(holdingInstall_, true); }
    void releaseInstall() { set(holdingInstall_, false); }
    void waitUntilInstalling() { waitUntil(installing_); }

    std::vector<RecognitionResult> recognize(std::span<const float> samples,
                                             const std::optional<RecognitionContext>& context,
                                             const RecognitionProgress& = {}) override {
        const std::lock_guard lock(mutex_);
        contexts.push_back(context);
        recognizedSamples = samples.size();
        return fileResults;
    }

    std::unique_ptr<LiveRecognition> startLive(const std::optional<RecognitionContext>& context,
                                               ResultSink sink) override {
        {
            const std::lock_guard lock(mutex_);
            contexts.push_back(context);
            ++liveStarts;
        }
        return std::make_unique<Live>(*this, std::move(sink));
    }

    // Holding: each accepted buffer waits until release() before it is recognized.
    void hold() { set(holding_, true); }
    void release() { set(holding_, false); }
    // Waits until the recognizer is busy with a held buffer.
    void waitUntilBusy() { waitUntil(busy_); }

    size_t acceptedBuffers() const {
        const std::lock_guard lock(mutex_);
        return accepted_;
    }
    size_t acceptedSamples() const {
        const std::lock_guard lock(mutex_);
        return acceptedSamples_;
    }
    int liveEnded() const {
        const std::lock_guard lock(mutex_);
        return liveEnded_;
    }

    std::vector<std::optional<RecognitionContext>> contexts;
    int liveStarts = 0;
    size_t recognizedSamples = 0;

private:
    class Live final : public LiveRecognition {
    public:
        Live(ScriptedSpeechEngine& engine, ResultSink sink) : engine_(engine), sink_(std::move(sink)) {}
        ~Live() override {
            const std::lock_guard lock(engine_.mutex_);
            ++engine_.liveEnded_;
        }
        void accept(std::span<const float> samples) override {
            size_t index = 0;
            {
                std::unique_lock lock(engine_.mutex_);
                engine_.busy_ = true;
                engine_.changed_.notify_all();
                engine_.changed_.wait(lock, [&] { return !engine_.holding_; });
                engine_.busy_ = false;
                index = engine_.accepted_++;
                engine_.acceptedSamples_ += samples.size();
            }
            if (engine_.failOnAccept) throw Error("Scripted", 9, "The recognizer broke down.");
            if (index < engine_.livePerBuffer.size())
                for (const auto& result : engine_.livePerBuffer[index]) sink_(result);
        }
        void finish() override {
            for (const auto& result : engine_.liveOnFinish) sink_(result);
        }

    private:
        ScriptedSpeechEngine& engine_;
        ResultSink sink_;
    };

    void set(bool& flag, bool value) {
        {
            const std::lock_guard lock(mutex_);
            flag = value;
        }
        changed_.notify_all();
    }
    void waitUntil(const bool& flag) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return flag; });
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool holding_ = false;
    bool busy_ = false;
    bool holdingInstall_ = false;
    bool installing_ = false;
    size_t accepted_ = 0;
    size_t acceptedSamples_ = 0;
    int liveEnded_ = 0;
};

inline RecognitionResult finalResult(const std::string& text) { return {RecognizedText::plain(text), true, {}}; }
inline RecognitionResult volatileResult(const std::string& text) { return {RecognizedText::plain(text), false, {}}; }

}  // namespace vesk::test
