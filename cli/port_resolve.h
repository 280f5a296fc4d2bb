// Turning the ports of the command line into what the workers open.
#pragma once

#include "port_target.h"

#include <optional>
#include <string>
#include <vector>

// "COM1" to "COM4" map as in the desktop program; anything else must be a device path. Nothing
// is opened. On a bad name, error says why.
std::optional<PortTarget> ResolvePort(const std::string& name, std::string& error);

// Empty when every port names a different device, else a message naming the two that do not:
// the same name twice, or two names of one device (a COMn link and its target, a by-id link).
std::string FindDuplicatePort(const std::vector<PortTarget>& ports);
