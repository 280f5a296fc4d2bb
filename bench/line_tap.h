// The record that brisko-bench-line-tap keeps of a program's serial line, in a file that the
// program maps shared, so that brisko-bench-tapped reads it while the program runs and after
// it has ended. Times are CLOCK_MONOTONIC in nanoseconds; 0 means not yet.
#pragma once

#include <cstdint>

inline constexpr std::uint64_t kLineTapMagic = 0x7061742d656e696cULL; // "line-tap"
inline constexpr std::uint32_t kLineTapMaxTurnarounds = 4096;

struct LineTapRecord {
    std::uint64_t magic;
    std::int64_t firstWriteNs;   // start of the first write to the port
    std::int64_t lastReceiptNs;  // end of the last read of the port that received bytes
    std::int64_t lastActivityNs; // end of the last read or write that moved bytes
    std::uint64_t bytesWritten;
    std::uint64_t bytesReceived;
    std::uint64_t writeCalls;
    std::uint64_t readCalls;
    // From the end of a read that received bytes to the start of the next write (LineMeter's
    // turnarounds); the first kLineTapMaxTurnarounds of them.
    std::uint32_t turnarounds;
    std::int64_t turnaroundNs[kLineTapMaxTurnarounds];
};

// The environment variable that names the record's file.
inline constexpr const char* kLineTapFileVariable = "BRISKO_LINE_TAP_FILE";
