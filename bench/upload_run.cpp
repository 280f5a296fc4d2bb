// brisko-bench-upload: one whole upload with the console as the window, and what it cost.
//
// Usage: brisko-bench-upload [--expect LINE] IMAGE
//
// Runs UploadImage on COM3 of the port mapping in force (XDG_CONFIG_HOME), answering the open
// dialog with IMAGE. Prints the log lines, then one "bench.<name>=<value>" line per figure:
//   wall_s       from the start of the first write (the first wake-up frame) to the last log line
//   tx_bytes, rx_bytes   bytes written to and received from the line
//   line_s       line time of tx_bytes + rx_bytes at 115200 baud, 10 bits a byte
//   line_ratio   wall_s / line_s
//   cpu_user_s, cpu_sys_s, cpu_s   processor time of the upload (getrusage, from its start)
//   cpu_share    cpu_s / wall_s
//   max_rss_kib  peak resident memory of the process (ru_maxrss)
//   hwm_kib      peak resident memory of this program alone (VmHWM)
//   write_calls, read_calls   port writes and reads made
// Exit status 0 when the last log line is LINE (default "Done."), 1 otherwise, 2 on bad usage.
#include "connection.h"
#include "console_host.h"
#include "line_meter.h"
#include "upload_image.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>

namespace {

// The peak resident memory of this program since it was started (VmHWM), in KiB; 0 when
// unknown. Unlike ru_maxrss it never includes the memory of the process that spawned it.
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

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

void Figure(const char* name, double value) {
    std::printf("bench.%s=%.6f\n", name, value);
}

void Figure(const char* name, unsigned long long value) {
    std::printf("bench.%s=%llu\n", name, value);
}

} // namespace

int main(int argc, char** argv) {
    std::string expect = "Done.";
    int arg = 1;
    if (arg + 1 < argc && std::strcmp(argv[arg], "--expect") == 0) {
        expect = argv[arg + 1];
        arg += 2;
    }
    if (arg + 1 != argc) {
        std::fprintf(stderr, "usage: %s [--expect LINE] IMAGE\n", argv[0]);
        return 2;
    }

    portIndex = 2; // COM3, as at every start of the program
    LineMeter meter;
    meter.Install();
    ConsoleHost host(argv[arg]);

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    UploadImage(host);
    const auto end = std::chrono::steady_clock::now();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);

    const auto from = meter.FirstWrite().value_or(start);
    const auto to = host.LastLine().empty() ? end : host.LastLineTime();
    const double wall = std::chrono::duration<double>(to - from).count();
    const double user = Seconds(after.ru_utime) - Seconds(before.ru_utime);
    const double sys = Seconds(after.ru_stime) - Seconds(before.ru_stime);
    const std::uint64_t crossed = meter.BytesWritten() + meter.BytesReceived();
    const double line = LineSeconds(crossed);

    std::printf("bench.outcome=%s\n", host.LastLine().c_str());
    Figure("wall_s", wall);
    Figure("tx_bytes", static_cast<unsigned long long>(meter.BytesWritten()));
    Figure("rx_bytes", static_cast<unsigned long long>(meter.BytesReceived()));
    Figure("line_s", line);
    Figure("line_ratio", line > 0 ? wall / line : 0.0);
    Figure("cpu_user_s", user);
    Figure("cpu_sys_s", sys);
    Figure("cpu_s", user + sys);
    Figure("cpu_share", wall > 0 ? (user + sys) / wall : 0.0);
    Figure("max_rss_kib", static_cast<unsigned long long>(after.ru_maxrss));
    Figure("hwm_kib", PeakResidentKib());
    Figure("write_calls", static_cast<unsigned long long>(meter.WriteCalls()));
    Figure("read_calls", static_cast<unsigned long long>(meter.ReadCalls()));
    std::fflush(stdout);
    Platform() = SystemPlatform(); // the meter's wrappers go with it
    return host.LastLine() == expect ? 0 : 1;
}
