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
// result over it, then puts the person's clipboard back. One transform at a time.
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
    // A sentence for the person.
    std::function<void(std::string)> onError;

    // Watches for Alt+1 and Alt+2; false when no shortcut can be watched.
    bool startMonitoring();
    void stopMonitoring();

    void run(const Transform& transform);
    bool isRunning() const { return isRunning_; }

    // A shortcut seen by the key source: schedules its transform on the event loop.
    void handleShortcut(int keyCode);

private:
    QCoro::Task<> perform(Transform transform);
    void status(std::optional<std::string> text);
    void fail(const std::string& message);
    void finish();

    RewriteService& engine_;
    TextInserting& inserter_;
    Clipboard& clipboard_;
    std::unique_ptr<ShortcutSource> shortcuts_;
    SoundPlayer playSound_;
    bool isRunning_ = false;
};

}  // namespace vesk
