#include "system/TextInserter.h"

#include "core/Delay.h"
#include "core/Log.h"
#include "system/FocusTracker.h"
#include "system/KeySender.h"

#include <QCoro/QCoroTimer>
#include <QPointer>
#include <QTimer>

namespace vesk {
namespace {

// The key codes and modifier flags our callers use, as letters and modifiers of this
// desktop: Command is Ctrl here.
constexpr std::uint32_t kShiftFlag = 0x20000;
constexpr std::uint32_t kControlFlag = 0x40000;
constexpr std::uint32_t kOptionFlag = 0x80000;

std::optional<char> letterFor(std::uint16_t keyCode) {
    switch (keyCode) {
        case TextInserter::pasteKey: return 'v';
        case TextInserter::copyKey: return 'c';
        default: return std::nullopt;
    }
}

}  // namespace

TextInserter::TextInserter(Clipboard& clipboard, KeySender& keys, FocusTracker* focus, QObject* parent)
    : QObject(parent), clipboard_(clipboard), keys_(keys), focus_(focus) {}

QCoro::Task<InsertOutcome> TextInserter::insert(std::string text) {
    SavedClipboard saved = clipboard_.save();
    clipboard_.setText(text);
    const std::uint64_t written = clipboard_.changeCount();
    QPointer<TextInserter> self(this);
    const bool sent = co_await sendKeystrokeWhenReady(pasteKey, commandFlag);
    if (!sent) {
        // Putting the old clipboard back would lose the text altogether: leave it there
        // for the person to paste.
        co_return Error(kErrorDomain, static_cast<int>(InsertError::keysNotSent),
                        "The text could not be pasted; it is on the clipboard, ready to paste.");
    }
    if (!self) co_return std::nullopt;
    // Restore on a timer: the target reads the clipboard from us meanwhile, so the event
    // loop must keep running.
    QTimer::singleShot(restoreDelay, this, [this, saved = std::move(saved), written] {
        if (clipboard_.changeCount() == written) clipboard_.restore(saved);
    });
    co_return std::nullopt;
}

void TextInserter::sendKeystroke(std::uint16_t keyCode, std::uint32_t flags, std::function<void(bool)> sent) {
    sendAndNotify(keyCode, flags, std::move(sent));
}

QCoro::Task<> TextInserter::sendAndNotify(std::uint16_t keyCode, std::uint32_t flags, std::function<void(bool)> sent) {
    QPointer<TextInserter> self(this);
    const bool done = co_await sendKeystrokeWhenReady(keyCode, flags);
    if (self && sent) sent(done);
}

QCoro::Task<bool> TextInserter::waitForModifiers() {
    QPointer<TextInserter> self(this);
    // A chord sent while the person still holds Alt (from Alt+1) or the dictation key
    // would arrive as Alt+Ctrl+C; wait for them to let go, but not forever.
    const auto deadline = std::chrono::steady_clock::now() + modifierWait;
    while (keys_.modifiersHeld() && std::chrono::steady_clock::now() < deadline) {
        co_await sleepAtLeast(modifierPoll);
        if (!self) co_return false;
    }
    co_return true;
}

bool TextInserter::sendNow(std::uint16_t keyCode, std::uint32_t flags) {
    const auto letter = letterFor(keyCode);
    if (!letter) return false;
    Chord chord;
    chord.letter = *letter;
    chord.control = (flags & (commandFlag | kControlFlag)) != 0;
    chord.shift = (flags & kShiftFlag) != 0;
    chord.alt = (flags & kOptionFlag) != 0;
    // Terminals keep Ctrl+V and Ctrl+C for themselves and paste or copy with Shift added.
    if (chord.control && !chord.alt && focus_ && focus_->focusedWindowIsTerminal()) chord.shift = true;
    if (keys_.send(chord)) return true;
    logWarning("Project Vesk: could not send a synthetic key press through " + keys_.name());
    return false;
}

QCoro::Task<bool> TextInserter::sendKeystrokeWhenReady(std::uint16_t keyCode, std::uint32_t flags) {
    if (!letterFor(keyCode)) co_return false;
    QPointer<TextInserter> self(this);
    if (!co_await waitForModifiers() || !self) co_return false;
    co_return sendNow(keyCode, flags);
}

QCoro::Task<std::optional<std::string>> TextInserter::copySelection() {
    QPointer<TextInserter> self(this);
    if (!co_await waitForModifiers() || !self) co_return std::nullopt;
    // The baseline is taken only now: a change while the person still held a modifier
    // (an earlier paste's restore, another program's copy) is not the selection.
    const std::uint64_t before = clipboard_.changeCount();
    if (!sendNow(copyKey, commandFlag)) co_return std::nullopt;
    for (int check = 0; check < pollCount; ++check) {
        co_await sleepAtLeast(pollInterval);
        if (!self) co_return std::nullopt;
        if (clipboard_.changeCount() != before) co_return clipboard_.text();
    }
    co_return std::nullopt;
}

}  // namespace vesk
