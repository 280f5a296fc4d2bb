// A port as the user named it on the command line, and what the worker opens for it.
#pragma once

#include <string>

struct PortTarget {
    std::string name;   // as given: "COM3", "/dev/ttyUSB0"
    int comIndex = -1;  // 0 to 3 for COM1 to COM4 (the upload connects it as the desktop does)
    std::string device; // the device path it resolves to, for messages and duplicates
};
