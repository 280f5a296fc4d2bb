// Where a port name such as "COM3" lives on a POSIX system.
#pragma once

#include <string>

// ${XDG_CONFIG_HOME:-$HOME/.config}/brisko-k71/ports: where the user links "COMn" to a device.
// Empty when neither variable gives a directory.
std::string PortsDirectory();

// "COMn" is ${XDG_CONFIG_HOME:-$HOME/.config}/brisko-k71/ports/COMn when that path exists (a link
// the user made to the real device), else /dev/ttyS<n-1>. A device path ("/dev/ttyUSB0") is
// itself. Empty for anything else.
std::string PortDevicePath(const std::string& name);
