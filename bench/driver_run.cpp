#include "driver_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>

std::optional<DriverArgs> ParseDriverArgs(int argc, char** argv) {
    DriverArgs args;
    int arg = 1;
    if (arg + 1 < argc && std::strcmp(argv[arg], "--expect") == 0) {
        args.expect = argv[arg + 1];
        arg += 2;
    }
    if (arg + 1 != argc) {
        std::fprintf(stderr, "usage: %s [--expect LINE] IMAGE\n", argv[0]);
        return std::nullopt;
    }
    args.image = argv[arg];
    return args;
}

UploadFigures MeteredFigures(const LineMeter& meter, const rusage& before, const rusage& after) {
    UploadFigures figures;
    figures.bytesWritten = meter.BytesWritten();
    figures.bytesReceived = meter.BytesReceived();
    figures.writeCalls = meter.WriteCalls();
    figures.readCalls = meter.ReadCalls();
    figures.userSeconds = TimevalSeconds(after.ru_utime) - TimevalSeconds(before.ru_utime);
    figures.systemSeconds = TimevalSeconds(after.ru_stime) - TimevalSeconds(before.ru_stime);
    figures.maxRssKib = static_cast<unsigned long long>(after.ru_maxrss);
    figures.hwmKib = PeakResidentKib();
    for (const auto turnaround : meter.Turnarounds())
        figures.turnaroundSeconds.push_back(std::chrono::duration<double>(turnaround).count());
    return figures;
}
