// Counts what crosses the serial line during a run, by wrapping the port operations of
// Platform(): bytes written and received, the calls made, when the first write began, and the
// host's turnarounds: from the end of a read that received bytes to the start of the next write,
// the time that the host itself holds the line idle between a reply and its next frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

class LineMeter {
public:
    using Clock = std::chrono::steady_clock;

    // Wraps WriteFile and ReadFile of the table in force. The meter must outlive every use of
    // the port.
    void Install();

    std::optional<Clock::time_point> FirstWrite() const { return firstWrite_; }
    std::uint64_t BytesWritten() const { return bytesWritten_; }
    std::uint64_t BytesReceived() const { return bytesReceived_; }
    std::uint64_t WriteCalls() const { return writeCalls_; }
    std::uint64_t ReadCalls() const { return readCalls_; }
    const std::vector<Clock::duration>& Turnarounds() const { return turnarounds_; }

private:
    std::optional<Clock::time_point> firstWrite_;
    std::uint64_t bytesWritten_ = 0;
    std::uint64_t bytesReceived_ = 0;
    std::uint64_t writeCalls_ = 0;
    std::uint64_t readCalls_ = 0;
    std::optional<Clock::time_point> lastReceipt_; // end of the last read that got bytes
    std::vector<Clock::duration> turnarounds_;
};

// Line time of count bytes at 115200 baud, 8N1: ten bit times a byte.
double LineSeconds(std::uint64_t count);
