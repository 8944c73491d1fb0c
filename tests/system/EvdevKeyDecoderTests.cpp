#include "system/EvdevKeyDecoder.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <vector>

namespace vesk {
namespace {

using Keys = std::vector<KeyEvent>;

// Feeds a recorded sequence and collects what the decoder reports.
Keys play(EvdevKeyDecoder& decoder, const std::vector<InputEvent>& events) {
    Keys out;
    for (const auto& event : events) {
        const auto keys = decoder.feed(event);
        out.insert(out.end(), keys.begin(), keys.end());
    }
    return out;
}

// Recorded from a USB keyboard: Right Ctrl held long enough to auto-repeat, then let go.
// Each key change comes with the scan code (EV_MSC) and ends its frame with SYN_REPORT.
const std::vector<InputEvent> kHoldWithRepeat = {
    {EV_MSC, MSC_SCAN, 0x700e4}, {EV_KEY, KEY_RIGHTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_RIGHTCTRL, 2},
    {EV_SYN, SYN_REPORT, 1},     {EV_KEY, KEY_RIGHTCTRL, 2}, {EV_SYN, SYN_REPORT, 1}, {EV_MSC, MSC_SCAN, 0x700e4},
    {EV_KEY, KEY_RIGHTCTRL, 0},  {EV_SYN, SYN_REPORT, 0},
};

TEST(EvdevKeyDecoder, PressRepeatReleaseGiveOnePressAndOneRelease) {
    EvdevKeyDecoder decoder;
    EXPECT_EQ(play(decoder, kHoldWithRepeat), (Keys{{KEY_RIGHTCTRL, true}, {KEY_RIGHTCTRL, false}}));
    EXPECT_TRUE(decoder.held().empty());
}

TEST(EvdevKeyDecoder, InterleavedKeysKeepTheirOrder) {
    EvdevKeyDecoder decoder;
    const Keys keys = play(decoder, {{EV_KEY, KEY_LEFTALT, 1},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, KEY_1, 1},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, KEY_1, 0},
                                     {EV_KEY, KEY_LEFTALT, 0},
                                     {EV_SYN, SYN_REPORT, 0}});
    EXPECT_EQ(keys, (Keys{{KEY_LEFTALT, true}, {KEY_1, true}, {KEY_1, false}, {KEY_LEFTALT, false}}));
}

TEST(EvdevKeyDecoder, ReleaseOfAKeyNeverSeenDownIsDropped) {
    EvdevKeyDecoder decoder;
    EXPECT_TRUE(play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 0}, {EV_SYN, SYN_REPORT, 0}}).empty());
}

TEST(EvdevKeyDecoder, EventsAfterSynDroppedAreIgnoredUntilTheFrameEnds) {
    EvdevKeyDecoder decoder;
    play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}});
    // The queue overflowed: the release that follows belongs to a torn frame.
    const Keys during = play(decoder, {{EV_SYN, SYN_DROPPED, 0}, {EV_KEY, KEY_RIGHTCTRL, 0}, {EV_SYN, SYN_REPORT, 0}});
    EXPECT_TRUE(during.empty());
    EXPECT_TRUE(decoder.needsResync());
    // The device says the key is up now: the missed release is reported once.
    EXPECT_EQ(decoder.resynchronize({}), (Keys{{KEY_RIGHTCTRL, false}}));
    EXPECT_FALSE(decoder.needsResync());
    EXPECT_TRUE(play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 0}, {EV_SYN, SYN_REPORT, 0}}).empty());
}

TEST(EvdevKeyDecoder, ResyncReportsAPressMissedWhileDropping) {
    EvdevKeyDecoder decoder;
    play(decoder, {{EV_SYN, SYN_DROPPED, 0}, {EV_KEY, KEY_RIGHTALT, 1}, {EV_SYN, SYN_REPORT, 0}});
    EXPECT_EQ(decoder.resynchronize({KEY_RIGHTALT}), (Keys{{KEY_RIGHTALT, true}}));
    // Still held per the device: the next real release is reported.
    EXPECT_EQ(play(decoder, {{EV_KEY, KEY_RIGHTALT, 0}, {EV_SYN, SYN_REPORT, 0}}), (Keys{{KEY_RIGHTALT, false}}));
}

TEST(EvdevKeyDecoder, ResyncWithTheKeyStillDownReportsNothing) {
    EvdevKeyDecoder decoder;
    play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_SYN, SYN_DROPPED, 0}});
    EXPECT_TRUE(decoder.resynchronize({KEY_RIGHTCTRL}).empty());
    EXPECT_EQ(play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 0}}), (Keys{{KEY_RIGHTCTRL, false}}));
}

TEST(EvdevKeyDecoder, DeviceRemovedWhileHeldReleasesEveryHeldKey) {
    EvdevKeyDecoder decoder;
    play(decoder, {{EV_KEY, KEY_RIGHTCTRL, 1},
                   {EV_KEY, KEY_A, 1},
                   {EV_KEY, KEY_A, 0},
                   {EV_KEY, KEY_LEFTSHIFT, 1},
                   {EV_SYN, SYN_REPORT, 0}});
    const Keys released = decoder.deviceRemoved();
    ASSERT_EQ(released.size(), 2u);
    EXPECT_NE(std::find(released.begin(), released.end(), KeyEvent{KEY_RIGHTCTRL, false}), released.end());
    EXPECT_NE(std::find(released.begin(), released.end(), KeyEvent{KEY_LEFTSHIFT, false}), released.end());
    EXPECT_TRUE(decoder.deviceRemoved().empty());
}

}  // namespace
}  // namespace vesk
