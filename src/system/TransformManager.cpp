#include "system/TransformManager.h"

#include "core/Error.h"
#include "core/Delay.h"
#include "text/Unicode.h"

#include <QPointer>
#include <QTimer>

#include <linux/input-event-codes.h>

#include <chrono>

namespace vesk {
namespace {

constexpr auto kRestoreDelay = std::chrono::milliseconds(600);
constexpr int kEmptyResultCode = 2;

}  // namespace

const std::vector<Transform>& Transform::all() {
    static const std::vector<Transform> transforms = {
        {"polish", "Polish", "Alt+1", KEY_1,
         "Fixes grammar, spelling and punctuation and tightens the wording without changing meaning or tone.",
         "Polish the user's text: fix grammar, spelling and punctuation, and improve clarity and flow. Keep the "
         "meaning, tone, formatting and language unchanged."},
        {"promptEngineer", "Prompt Engineer", "Alt+2", KEY_2,
         "Turns a rough idea into a clear, well-structured prompt for an AI assistant.",
         "Rewrite the user's rough notes as a clear, well-structured prompt for an AI assistant: state the goal, the "
         "relevant context, explicit instructions, and any constraints or output format requirements."},
    };
    return transforms;
}

TransformManager::TransformManager(RewriteService& engine, TextInserting& inserter, Clipboard& clipboard,
                                   std::unique_ptr<ShortcutSource> shortcuts, SoundPlayer playSound, QObject* parent)
    : QObject(parent),
      engine_(engine),
      inserter_(inserter),
      clipboard_(clipboard),
      shortcuts_(std::move(shortcuts)),
      playSound_(std::move(playSound)) {}

TransformManager::~TransformManager() { stopMonitoring(); }

bool TransformManager::startMonitoring() {
    stopMonitoring();
    if (!shortcuts_) return false;
    std::set<int> keyCodes;
    for (const auto& transform : Transform::all()) keyCodes.insert(transform.keyCode);
    return shortcuts_->start(keyCodes, [this](int keyCode) { handleShortcut(keyCode); });
}

void TransformManager::stopMonitoring() {
    if (shortcuts_) shortcuts_->stop();
}

void TransformManager::handleShortcut(int keyCode) {
    for (const auto& transform : Transform::all()) {
        if (transform.keyCode != keyCode) continue;
        QTimer::singleShot(0, this, [this, transform] { run(transform); });
        return;
    }
}

void TransformManager::run(const Transform& transform) {
    if (isRunning_) return;
    if (const auto note = engine_.availabilityNote()) {
        fail(note->empty() ? "On-device model unavailable." : *note);
        return;
    }
    isRunning_ = true;
    status(transform.name + ": reading selection…");
    perform(transform);
}

QCoro::Task<> TransformManager::perform(Transform transform) {
    QPointer<TransformManager> self(this);
    const SavedClipboard saved = inserter_.saveClipboard();
    const std::optional<std::string> selection = co_await inserter_.copySelection();
    if (!self) co_return;
    if (!selection || unicode::trimWhitespaceAndNewlines(*selection).empty()) {
        inserter_.restoreClipboard(saved);
        fail("Select some text first, then press " + transform.keyLabel + ".");
        finish();
        co_return;
    }

    status(transform.name + ": rewriting…");
    std::string result;
    std::optional<std::string> failure;
    try {
        result = co_await engine_.rewrite(*selection, transform.instructions);
        if (result.empty()) throw Error(kErrorDomain, kEmptyResultCode, "Model returned empty text");
    } catch (const Error& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (!self) co_return;
    if (failure) {
        inserter_.restoreClipboard(saved);
        fail(transform.name + " failed: " + *failure);
        finish();
        co_return;
    }

    clipboard_.setText(result);
    const std::uint64_t written = clipboard_.changeCount();
    co_await inserter_.sendKeystrokeWhenReady(TextInserter::pasteKey, TextInserter::commandFlag);
    if (!self) co_return;
    if (playSound_) playSound_("Tink");
    // The target reads the clipboard from us meanwhile: wait on a timer, not a sleep.
    co_await sleepAtLeast(kRestoreDelay);
    if (!self) co_return;
    if (clipboard_.changeCount() == written) inserter_.restoreClipboard(saved);
    finish();
}

void TransformManager::status(std::optional<std::string> text) {
    if (onStatus) onStatus(std::move(text));
}

void TransformManager::fail(const std::string& message) {
    if (onError) onError(message);
    if (playSound_) playSound_("Basso");
}

void TransformManager::finish() {
    isRunning_ = false;
    status(std::nullopt);
}

}  // namespace vesk
