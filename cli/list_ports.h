// --list-ports: the serial ports present, their by-id names and the COMn names that point there.
#pragma once

#include <string>
#include <vector>

struct PresentPort {
    std::string device;                // /dev/ttyUSB0
    std::vector<std::string> byId;     // /dev/serial/by-id/... links to it
    std::vector<std::string> comNames; // COM1..COM4 that open it
};

// Every serial device with hardware behind it, and every device a COMn name points to.
std::vector<PresentPort> FindPorts();

// Prints the ports as a table (device, COMn names, by-id names), or one JSON object per port;
// returns the exit status.
int ListPorts(bool json);
