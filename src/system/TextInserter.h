#pragma once

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

// Pastes into and copies out of the focused application by way of the clipboard and a
// synthetic paste or copy chord, leaving the person's clipboard as it was.
class TextInserting {
public:
    virtual ~TextInserting() = default;
    // Returns at once; the paste follows once no modifier is held, and the clipboard is
    // put back 0.6 s later unless something else was copied meanwhile.
    virtual void insert(const std::string& text) = 0;
    virtual SavedClipboard saveClipboard() = 0;
    virtual void restoreClipboard(const SavedClipboard& saved) = 0;
    // `keyCode` is 9 (V) or 8 (C), `flags` the command flag 0x100000; `sent` runs once
    // the keys went out.
    virtual void sendKeystroke(std::uint16_t keyCode, std::uint32_t flags, std::function<void()> sent = {}) = 0;
    // The same, completing once the keys went out.
    virtual QCoro::Task<> sendKeystrokeWhenReady(std::uint16_t keyCode, std::uint32_t flags) = 0;
    // The focused application's selection as plain text, or nothing when it copied
    // nothing within 10 × 50 ms.
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

    void insert(const std::string& text) override;
    SavedClipboard saveClipboard() override { return clipboard_.save(); }
    void restoreClipboard(const SavedClipboard& saved) override { clipboard_.restore(saved); }
    void sendKeystroke(std::uint16_t keyCode, std::uint32_t flags, std::function<void()> sent = {}) override;
    QCoro::Task<std::optional<std::string>> copySelection() override;

    QCoro::Task<> sendKeystrokeWhenReady(std::uint16_t keyCode, std::uint32_t flags) override;

private:
    QCoro::Task<> insertAndRestore(std::string text);
    QCoro::Task<> sendAndNotify(std::uint16_t keyCode, std::uint32_t flags, std::function<void()> sent);

    Clipboard& clipboard_;
    KeySender& keys_;
    FocusTracker* focus_;
};

}  // namespace vesk
