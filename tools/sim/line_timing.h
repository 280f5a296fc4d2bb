// Line timing of the serial link: 115200 baud, 8 data bits, no parity, 1 stop bit.
#pragma once

#include <cstdint>

namespace sim {

inline constexpr std::int64_t kBaud = 115200;    // bits per second
inline constexpr std::int64_t kBitsPerByte = 10; // start bit, 8 data bits, stop bit
inline constexpr std::int64_t kNsPerSecond = 1'000'000'000;
inline constexpr std::int64_t kNsPerMs = 1'000'000;

// Time from the start of a run of back-to-back bytes on the line to the end of its count-th
// byte. Computed from the start of the run each time, so long runs never drift.
constexpr std::int64_t LineTimeNs(std::int64_t count) {
    return count * kBitsPerByte * kNsPerSecond / kBaud;
}

// Number of whole bytes that a run started elapsedNs ago has put on the line.
std::int64_t BytesOnLine(std::int64_t elapsedNs);

// CLOCK_MONOTONIC in nanoseconds.
std::int64_t MonotonicNs();

} // namespace sim
