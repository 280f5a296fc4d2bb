#include "virtual_clock.h"

#include <cstdint>
#include <poll.h>

VirtualClock::VirtualClock(int quietMs, DWORD jumpMs, DWORD start) : now(start) {
    PlatformApi& api = Platform();
    api.GetTickCount = [this] { return now; };
    api.ReadFile = [this, quietMs, jumpMs, systemRead = SystemPlatform().ReadFile](
                       HANDLE h, void* buffer, DWORD count, DWORD* received, void* overlapped) {
        const BOOL ok = systemRead(h, buffer, count, received, overlapped);
        if (*received == 0 && count > 0) {
            // Wait on the line itself: only a line that stays quiet lets time pass.
            pollfd p{static_cast<int>(reinterpret_cast<std::intptr_t>(h)), POLLIN, 0};
            // A line that has gone away stays readable with nothing to read: time passes there
            // too.
            if (poll(&p, 1, quietMs) <= 0 || (p.revents & POLLIN) == 0 ||
                (p.revents & (POLLHUP | POLLERR)) != 0)
                now += jumpMs;
        }
        return ok;
    };
}

VirtualClock::~VirtualClock() {
    const PlatformApi system = SystemPlatform();
    Platform().GetTickCount = system.GetTickCount;
    Platform().ReadFile = system.ReadFile;
}
