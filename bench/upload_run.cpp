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
#include "driver_run.h"
#include "line_meter.h"
#include "run_report.h"
#include "upload_image.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    const std::optional<DriverArgs> args = ParseDriverArgs(argc, argv);
    if (!args)
        return 2;

    portIndex = 2; // COM3, as at every start of the program
    LineMeter meter;
    meter.Install();
    ConsoleHost host(args->image);

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    UploadImage(host);
    const auto end = std::chrono::steady_clock::now();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);

    const auto from = meter.FirstWrite().value_or(start);
    const auto to = host.LastLine().empty() ? end : host.LastLineTime();
    UploadFigures figures = MeteredFigures(meter, before, after);
    figures.outcome = host.LastLine();
    figures.wallSeconds = std::chrono::duration<double>(to - from).count();
    PrintUploadFigures(figures);
    Platform() = SystemPlatform(); // the meter's wrappers go with it
    return host.LastLine() == args->expect ? 0 : 1;
}
