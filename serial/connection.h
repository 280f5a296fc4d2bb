// The program's one serial port and its connection to the port the user selected.
#pragma once

#include "serie.h"

#include <cstdint>

inline constexpr std::int32_t kLinkBaudRate = 115200;
inline constexpr std::size_t kPortSpecSize = 256; // characters, terminator included

extern CSerial Serial;
// Selected port, 0 to 3 for COM1 to COM4. The main window sets it to 2 at creation and the
// set-up dialog changes it; ConnectPort reads it.
extern std::uint8_t portIndex;
// The port specification last printed by FormatPortSpec; empty until the first connection.
extern char portSpec[kPortSpecSize];

// Prints "COM<n>:<baud>,N,8,1" into portSpec.
void FormatPortSpec(std::uint8_t port, std::int32_t baudRate);

// (Re)opens Serial on the port that portIndex selects, at 115200 baud, and purges it if it opened.
// Failures are shown by Open itself; callers test Serial.IsOpen().
void ConnectPort();
