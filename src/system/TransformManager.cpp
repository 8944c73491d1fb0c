#include "system/TransformManager.h"

#include "core/Delay.h"
#include "core/Error.h"
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

TransformManager::~TransformManager() {
    stopMonitoring();
    // The steps still suspended see the manager gone and stop; nothing else would put
    // the person's clipboard back.
    putClipboardBack();
}

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

// Lives in the transform's coroutine frame, so it ends the transform whichever way the
// steps leave: a return, an exception, or the last wait running out.
class TransformManager::Ending {
public:
    explicit Ending(TransformManager& manager) : manager_(&manager) {}
    ~Ending() {
        if (manager_) manager_->finish();
    }
    Ending(const Ending&) = delete;
    Ending& operator=(const Ending&) = delete;

private:
    QPointer<TransformManager> manager_;
};

void TransformManager::run(const Transform& transform) {
    if (active_) return;
    if (const auto note = engine_.availabilityNote()) {
        fail(note->empty() ? "On-device model unavailable." : *note);
        return;
    }
    active_.emplace();
    status(transform.name + ": reading selection…");
    task_ = perform(transform);
}

QCoro::Task<> TransformManager::perform(Transform transform) {
    const Ending ending(*this);
    QPointer<TransformManager> self(this);
    try {
        co_await steps(transform);
    } catch (const std::exception& error) {
        // vesk::Error's description is its what(); anything else is reported the same way.
        if (self) fail(transform.name + " failed: " + error.what());
    }
}

QCoro::Task<> TransformManager::steps(const Transform& transform) {
    QPointer<TransformManager> self(this);
    active_->saved = inserter_.saveClipboard();
    const std::optional<std::string> selection = co_await inserter_.copySelection();
    if (!self) co_return;
    if (!selection || unicode::trimWhitespaceAndNewlines(*selection).empty()) {
        fail("Select some text first, then press " + transform.keyLabel + ".");
        co_return;
    }

    status(transform.name + ": rewriting…");
    const std::string result = co_await engine_.rewrite(*selection, transform.instructions);
    if (!self) co_return;
    if (result.empty()) throw Error(kErrorDomain, kEmptyResultCode, "Model returned empty text");

    clipboard_.setText(result);
    active_->ourChange = clipboard_.changeCount();
    const bool pasted = co_await inserter_.sendKeystrokeWhenReady(TextInserter::pasteKey, TextInserter::commandFlag);
    if (!self) co_return;
    if (!pasted) {
        // Putting the old clipboard back would lose the result: leave it to be pasted.
        active_->saved.reset();
        fail(transform.name + " failed: the result could not be pasted; it is on the clipboard, ready to paste.");
        co_return;
    }
    if (playSound_) playSound_("Tink");
    // The target reads the clipboard from us meanwhile: wait on a timer, not a sleep.
    co_await sleepAtLeast(kRestoreDelay);
}

void TransformManager::status(std::optional<std::string> text) {
    if (onStatus) onStatus(std::move(text));
}

void TransformManager::fail(const std::string& message) {
    if (onError) onError(message);
    if (playSound_) playSound_("Basso");
}

void TransformManager::putClipboardBack() {
    if (!active_) return;
    const Active ended = std::move(*active_);
    active_.reset();
    if (!ended.saved) return;
    // Something copied after our result went on the clipboard wins.
    if (ended.ourChange && clipboard_.changeCount() != *ended.ourChange) return;
    inserter_.restoreClipboard(*ended.saved);
}

void TransformManager::finish() {
    putClipboardBack();
    status(std::nullopt);
}

}  // namespace vesk
