#pragma once

#include <chrono>
#include <deque>

namespace vesk {

// The keys we are synthesizing ourselves, so that a key observer that sees them come
// back from the X server's synthetic-input device can leave them out. An entry that is
// never seen again (nobody is observing) expires after a second.
class SyntheticKeyLedger {
public:
    using Clock = std::chrono::steady_clock;

    // One press and one release of `code` (a kernel key code) are on their way.
    void expect(int code) {
        prune();
        const auto now = Clock::now();
        pending_.push_back({code, true, now});
        pending_.push_back({code, false, now});
    }

    // True (and the entry is used up) when this report is one of ours.
    bool consume(int code, bool pressed) {
        prune();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->code == code && it->pressed == pressed) {
                pending_.erase(it);
                return true;
            }
        }
        return false;
    }

private:
    struct Entry {
        int code;
        bool pressed;
        Clock::time_point sentAt;
    };
    void prune() {
        const auto limit = Clock::now() - std::chrono::seconds(1);
        while (!pending_.empty() && pending_.front().sentAt < limit) pending_.pop_front();
    }
    std::deque<Entry> pending_;
};

}  // namespace vesk
