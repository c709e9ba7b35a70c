// The Escape key's polled state as the Win32 asynchronous key state gives it,
// rebuilt from key events for platforms that deliver events instead.
#pragma once

#include <cstdint>

namespace introplayer {

struct EscapeTracker {
    bool down;              // down after the last event seen
    bool pressedSincePoll;  // a fresh press (not an auto-repeat) since the last poll
};

// Feeds one key event. Auto-repeated presses of a held key are not new presses.
inline void escapeKeyEvent(EscapeTracker& t, bool pressed, bool repeat) {
    if (pressed) {
        if (!t.down && !repeat) t.pressedSincePoll = true;
        t.down = true;
    } else {
        t.down = false;
    }
}

// 0x8000 while down now, 0x0001 when pressed since the previous poll; the poll
// clears the second bit.
inline int16_t escapeKeyPoll(EscapeTracker& t) {
    uint16_t state = uint16_t((t.down ? 0x8000u : 0u) | (t.pressedSincePoll ? 0x0001u : 0u));
    t.pressedSincePoll = false;
    return int16_t(state);
}

}  // namespace introplayer
