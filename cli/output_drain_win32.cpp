#include "output_drain.h"

#include <chrono>
#include <thread>

// FlushFileBuffers would also wait for the queue to empty, but without a limit: a line held up
// by flow control would hold the stop up with it. The queue's length is polled instead.
void WaitForOutputSent(HANDLE port, int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    DWORD errors = 0;
    COMSTAT status{};
    while (ClearCommError(port, &errors, &status) && status.cbOutQue > 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}
