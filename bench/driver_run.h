// What the upload drivers (the console host and the main window) share: their command line and
// the figures that the line meter and getrusage give for one upload.
#pragma once

#include "line_meter.h"
#include "run_report.h"

#include <optional>
#include <string>
#include <sys/resource.h>

struct DriverArgs {
    std::string expect = "Done."; // the last log line of a run that counts as passed
    std::string image;
};

// Reads "[--expect LINE] IMAGE"; prints the usage and returns nothing when they do not fit.
std::optional<DriverArgs> ParseDriverArgs(int argc, char** argv);

// The figures of an upload that ran between the two readings of getrusage; the caller adds its
// outcome and wall time.
UploadFigures MeteredFigures(const LineMeter& meter, const rusage& before, const rusage& after);
