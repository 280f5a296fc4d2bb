// The live line of one port on a terminal.
#pragma once

#include "port_run.h"

#include <string>

// "COM1  block 12 of 74  [####------]  11.2 kB/s  0:05 left", or what the port is doing before
// and after its blocks; at most width characters.
std::string ProgressLine(const PortRun& run, FlashClock::time_point now, std::size_t nameWidth,
                         std::size_t width);

// "0:07" or "1:02:03".
std::string ClockTime(double seconds);
