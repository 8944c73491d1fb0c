#pragma once

#include "core/Error.h"
#include "system/Clipboard.h"

#include <QCoro/QCoroTask>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vesk {

class FocusTracker;
class KeySender;

// Codes of the errors an insert reports, domain kErrorDomain.
enum class InsertError {
    keysNotSent = 20,  // the paste chord could not be sent; the text stays on the clipboard
};

// What became of one insert: nothing when the paste chord went out, otherwise why not.
using InsertOutcome = std::optional<Error>;

// Pastes into and copies out of the focused application by way of the clipboard and a
// synthetic paste or copy chord, leaving the person's clipboard as it was. Every call is
// made on the main thread, and every task completes there.
class TextInserting {
public:
    virtual ~TextInserting() = default;
    // Puts `text` on the clipboard and pastes it once no modifier is held (up to 2 s).
    // Completes as soon as the paste chord went out or could not be sent; the caller may
    // drop the task, the paste goes on all the same. When the chord went out, the
    // clipboard is put back 0.6 s later unless something else was copied meanwhile.
    // When it could not be sent the outcome is an InsertError::keysNotSent error whose
    // description is a sentence for the person, and `text` stays on the clipboard, never
    // restored, so the person can paste it by hand.
    virtual QCoro::Task<InsertOutcome> insert(std::string text) = 0;
    virtual SavedClipboard saveClipboard() = 0;
    virtual void restoreClipboard(const SavedClipboard& saved) = 0;
    // `keyCode` is 9 (V) or 8 (C), `flags` the command flag 0x100000; `sent` runs once
    // the keys went out, with false when they could not be sent.
    virtual void sendKeystroke(std::uint16_t keyCode, std::uint32_t flags, std::function<void(bool)> sent = {}) = 0;
    // The same, completing once the keys went out (true) or could not be sent (false).
    virtual QCoro::Task<bool> sendKeystrokeWhenReady(std::uint16_t keyCode, std::uint32_t flags) = 0;
    // The focused application's selection as plain text, or nothing when it copied
    // nothing within 10 × 50 ms of the copy chord, or the chord could not be sent. Only
    // a clipboard change after the wait for modifiers counts as the copy.
    virtual QCoro::Task<std::optional<std::string>> copySelection() = 0;
};

class TextInserter : public QObject, public TextInserting {
    Q_OBJECT
public:
    static constexpr std::uint16_t pasteKey = 9;
    static constexpr std::uint16_t copyKey = 8;
    static constexpr std::uint32_t commandFlag = 0x100000;
    static constexpr std::chrono::milliseconds restoreDelay{600};
    static constexpr std::chrono::milliseconds pollInterval{50};
    static constexpr int pollCount = 10;
    // How long a paste waits for the person to let go of modifier keys, and how often
    // it looks.
    static constexpr std::chrono::milliseconds modifierWait{2000};
    static constexpr std::chrono::milliseconds modifierPoll{10};

    // `focus` (optional) tells terminals apart; all three must outlive the inserter.
    TextInserter(Clipboard& clipboard, KeySender& keys, FocusTracker* focus = nullptr, QObject* parent = nullptr);

    QCoro::Task<InsertOutcome> insert(std::string text) override;
    SavedClipboard saveClipboard() override { return clipboard_.save(); }
    void restoreClipboard(const SavedClipboard& saved) override { clipboard_.restore(saved); }
    void sendKeystroke(std::uint16_t keyCode, std::uint32_t flags, std::function<void(bool)> sent = {}) override;
    QCoro::Task<std::optional<std::string>> copySelection() override;

    QCoro::Task<bool> sendKeystrokeWhenReady(std::uint16_t keyCode, std::uint32_t flags) override;

private:
    // Waits until no modifier is held, or the wait runs out; false when the inserter
    // went away meanwhile.
    QCoro::Task<bool> waitForModifiers();
    // Sends the chord at once; false when the keys could not be sent.
    bool sendNow(std::uint16_t keyCode, std::uint32_t flags);
    QCoro::Task<> sendAndNotify(std::uint16_t keyCode, std::uint32_t flags, std::function<void(bool)> sent);

    Clipboard& clipboard_;
    KeySender& keys_;
    FocusTracker* focus_;
};

}  // namespace vesk
