#pragma once

#include "system/ShortcutSource.h"
#include "system/X11Support.h"

#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;

namespace vesk {

// Grabs Alt + each digit key on the X server, with every combination of Caps Lock and
// Num Lock, so the focused application does not also act on them (Alt+1 switches tabs
// in browsers and terminals). Shift, Ctrl or Super held means no grab: those keys reach
// the application as usual. Keys pressed while one of our own windows has focus are
// left alone.
class X11ShortcutGrabber : public QObject, public ShortcutSource {
    Q_OBJECT
public:
    explicit X11ShortcutGrabber(QObject* parent = nullptr);
    ~X11ShortcutGrabber() override;

    bool start(std::set<int> keyCodes, Handler handler) override;
    void stop() override;

private:
    void drain();
    bool focusIsOurs();

    x11::DisplayHandle display_;
    Handler handler_;
    std::set<int> keyCodes_;
    unsigned int altMask_ = 0;
    std::vector<std::pair<int, unsigned int>> grabs_;  // X key code, modifier mask
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vesk
