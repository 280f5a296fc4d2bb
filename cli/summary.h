// The table of every port's result at the end of a run of several ports.
#pragma once

#include "port_run.h"

#include <string>
#include <vector>

std::string SummaryTable(const std::vector<PortRun>& runs, FlashClock::time_point now);
