#include "run_report.h"

#include "line_meter.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

void PrintFigure(const char* name, double value) {
    std::printf("bench.%s=%.6f\n", name, value);
}

void PrintFigure(const char* name, unsigned long long value) {
    std::printf("bench.%s=%llu\n", name, value);
}

void PrintUploadFigures(const UploadFigures& f) {
    const double line = LineSeconds(f.bytesWritten + f.bytesReceived);
    const double cpu = f.userSeconds + f.systemSeconds;
    std::printf("bench.outcome=%s\n", f.outcome.c_str());
    PrintFigure("wall_s", f.wallSeconds);
    PrintFigure("tx_bytes", static_cast<unsigned long long>(f.bytesWritten));
    PrintFigure("rx_bytes", static_cast<unsigned long long>(f.bytesReceived));
    PrintFigure("line_s", line);
    PrintFigure("line_ratio", line > 0 ? f.wallSeconds / line : 0.0);
    PrintFigure("cpu_user_s", f.userSeconds);
    PrintFigure("cpu_sys_s", f.systemSeconds);
    PrintFigure("cpu_s", cpu);
    PrintFigure("cpu_share", f.wallSeconds > 0 ? cpu / f.wallSeconds : 0.0);
    PrintFigure("max_rss_kib", f.maxRssKib);
    PrintFigure("hwm_kib", f.hwmKib);
    PrintFigure("write_calls", static_cast<unsigned long long>(f.writeCalls));
    PrintFigure("read_calls", static_cast<unsigned long long>(f.readCalls));
    std::vector<double> turns = f.turnaroundSeconds;
    const double total = std::accumulate(turns.begin(), turns.end(), 0.0);
    double median = 0;
    if (!turns.empty()) {
        std::sort(turns.begin(), turns.end());
        const std::size_t half = turns.size() / 2;
        median = turns.size() % 2 != 0 ? turns[half] : (turns[half - 1] + turns[half]) / 2;
    }
    PrintFigure("turnarounds", static_cast<unsigned long long>(turns.size()));
    PrintFigure("turnaround_total_s", total);
    PrintFigure("turnaround_mean_ms", turns.empty() ? 0.0 : 1e3 * total / turns.size());
    PrintFigure("turnaround_median_ms", 1e3 * median);
    std::fflush(stdout);
}

unsigned long long PeakResidentKib() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return 0;
    unsigned long long kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmHWM: %llu kB", &kib) == 1)
            break;
    }
    std::fclose(status);
    return kib;
}

double TimevalSeconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
