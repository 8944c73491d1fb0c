#include "system/EvdevKeyDecoder.h"

#include <linux/input-event-codes.h>

namespace vesk {

std::vector<KeyEvent> EvdevKeyDecoder::feed(const InputEvent& event) {
    if (event.type == EV_SYN) {
        if (event.code == SYN_DROPPED) {
            dropping_ = true;
            needsResync_ = true;
        } else if (event.code == SYN_REPORT && dropping_) {
            dropping_ = false;
        }
        return {};
    }
    if (dropping_ || event.type != EV_KEY) return {};
    if (event.value == 1 && held_.insert(event.code).second) return {{event.code, true}};
    if (event.value == 0 && held_.erase(event.code) > 0) return {{event.code, false}};
    return {};
}

std::vector<KeyEvent> EvdevKeyDecoder::resynchronize(const std::set<int>& pressedNow) {
    std::vector<KeyEvent> missed;
    for (const int code : held_)
        if (!pressedNow.contains(code)) missed.push_back({code, false});
    for (const int code : pressedNow)
        if (!held_.contains(code)) missed.push_back({code, true});
    held_ = pressedNow;
    dropping_ = false;
    needsResync_ = false;
    return missed;
}

std::vector<KeyEvent> EvdevKeyDecoder::deviceRemoved() {
    std::vector<KeyEvent> released;
    for (const int code : held_) released.push_back({code, false});
    held_.clear();
    dropping_ = false;
    needsResync_ = false;
    return released;
}

}  // namespace vesk
