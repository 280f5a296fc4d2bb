#include "output_drain.h"

#include <chrono>
#include <cstdint>
#include <sys/ioctl.h>
#include <thread>

void WaitForOutputSent(HANDLE port, int limitMs) {
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(port));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}
