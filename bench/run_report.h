// The figures of one upload as the benchmark drivers print them: one "bench.<name>=<value>" line
// each, read by scripts/bench.sh.
#pragma once

#include <cstdint>
#include <string>
#include <sys/time.h>
#include <vector>

struct UploadFigures {
    std::string outcome;    // the last log line
    double wallSeconds = 0; // from the first wake-up frame to the last log line
    std::uint64_t bytesWritten = 0;
    std::uint64_t bytesReceived = 0;
    std::uint64_t writeCalls = 0;
    std::uint64_t readCalls = 0;
    double userSeconds = 0;
    double systemSeconds = 0;
    unsigned long long maxRssKib = 0; // ru_maxrss
    unsigned long long hwmKib = 0;    // VmHWM, 0 when unknown
    // The host's turnarounds (LineMeter::Turnarounds), in seconds.
    std::vector<double> turnaroundSeconds;
};

// Prints outcome, wall_s, tx_bytes, rx_bytes, line_s, line_ratio, cpu_user_s, cpu_sys_s, cpu_s,
// cpu_share, max_rss_kib, hwm_kib, write_calls, read_calls, and the turnarounds: turnarounds
// (their number), turnaround_total_s, turnaround_mean_ms and turnaround_median_ms; then flushes.
void PrintUploadFigures(const UploadFigures& figures);

void PrintFigure(const char* name, double value);
void PrintFigure(const char* name, unsigned long long value);

// The peak resident memory of this program since it was started (VmHWM), in KiB; 0 when
// unknown. Unlike ru_maxrss it never includes the memory of the process that spawned it.
unsigned long long PeakResidentKib();

// A time of getrusage in seconds.
double TimevalSeconds(const timeval& t);
