// A millisecond clock for tests over a real line: time stands still while bytes are arriving and
// jumps ahead only when the line has been quiet for a while, so that a device that never
// answers costs a fraction of a second instead of the protocol's two-second reads, and a
// device that does answer is never cut short.
#pragma once

#include "platform.h"

class VirtualClock {
public:
    // quietMs: how long the line must stay silent, in real time, before the clock moves by
    // jumpMs. start: the first reading, near the wrap of the 32-bit counter by default.
    explicit VirtualClock(int quietMs = 250, DWORD jumpMs = 2000, DWORD start = 0xFFFFF000u);
    ~VirtualClock(); // restores the system's clock and reads
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    DWORD Now() const { return now; }

private:
    DWORD now;
};
