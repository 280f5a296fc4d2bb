#include "line_timing.h"

#include <ctime>

namespace sim {

std::int64_t BytesOnLine(std::int64_t elapsedNs) {
    if (elapsedNs <= 0)
        return 0;
    std::int64_t count = elapsedNs * kBaud / (kBitsPerByte * kNsPerSecond);
    // LineTimeNs rounds down; settle on the largest count whose end is not after elapsedNs.
    while (LineTimeNs(count + 1) <= elapsedNs)
        ++count;
    while (count > 0 && LineTimeNs(count) > elapsedNs)
        --count;
    return count;
}

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

} // namespace sim
