#pragma once

#include "rewriting/RewriteService.h"
#include "system/Clipboard.h"
#include "system/ShortcutSource.h"
#include "system/TextInserter.h"

#include <QCoro/QCoroTask>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// A rewrite of the selected text, run with Alt and a digit key.
struct Transform {
    std::string id;
    std::string name;
    std::string keyLabel;
    std::uint16_t keyCode = 0;  // the kernel key code of the digit key pressed with Alt
    std::string description;
    std::string instructions;

    // "polish" (Alt+1) and "promptEngineer" (Alt+2), in this order.
    static const std::vector<Transform>& all();
};

// Rewrites the selection of the focused application in place: copies it out with a
// synthetic copy chord, rewrites it with the transform's instructions and pastes the
// result over it, then puts the person's clipboard back. One transform at a time, on the
// main thread; it suspends while copying, rewriting and waiting.
//
// However a transform ends (done, failed, or an exception from any step), it ends in one
// place: the person's clipboard is put back as the outcome requires, the running state is
// cleared and `onStatus` gets nothing. A manager destroyed mid-transform puts the
// clipboard back at once (unless something else was copied meanwhile) and calls no
// callback; the abandoned steps notice and do nothing more.
class TransformManager : public QObject {
    Q_OBJECT
public:
    // Plays one of the named sounds ("Tink", "Basso").
    using SoundPlayer = std::function<void(std::string_view)>;

    // Everything given must outlive the manager; `shortcuts` may be absent (no keys).
    TransformManager(RewriteService& engine, TextInserting& inserter, Clipboard& clipboard,
                     std::unique_ptr<ShortcutSource> shortcuts = nullptr, SoundPlayer playSound = {},
                     QObject* parent = nullptr);
    ~TransformManager() override;

    // Progress text; nothing when no transform is running.
    std::function<void(std::optional<std::string>)> onStatus;
    // A sentence for the person. When the paste chord could not be sent the result is
    // left on the clipboard and the sentence says so.
    std::function<void(std::string)> onError;

    // Watches for Alt+1 and Alt+2; false when no shortcut can be watched.
    bool startMonitoring();
    void stopMonitoring();

    // Starts the transform unless one is running; returns before it ends.
    void run(const Transform& transform);
    bool isRunning() const { return active_.has_value(); }

    // A shortcut seen by the key source: schedules its transform on the event loop.
    void handleShortcut(int keyCode);

private:
    // The transform in progress: the person's clipboard and when it goes back.
    struct Active {
        // Nothing until taken, and nothing once it must stay off (our result is left
        // on the clipboard for the person).
        std::optional<SavedClipboard> saved;
        // Once our result is on the clipboard: put back only while it is still ours.
        std::optional<std::uint64_t> ourChange;
    };
    // Ends the transform when the steps leave, however they leave.
    class Ending;

    QCoro::Task<> perform(Transform transform);
    QCoro::Task<> steps(const Transform& transform);
    void status(std::optional<std::string> text);
    void fail(const std::string& message);
    // Puts the clipboard back as `active_` says and forgets the transform.
    void putClipboardBack();
    void finish();

    RewriteService& engine_;
    TextInserting& inserter_;
    Clipboard& clipboard_;
    std::unique_ptr<ShortcutSource> shortcuts_;
    SoundPlayer playSound_;
    std::optional<Active> active_;
    // Kept so that the coroutine is owned while it runs; it ends on its own.
    std::optional<QCoro::Task<>> task_;
};

}  // namespace vesk
