#include "connection.h"

#include <cstdio>

CSerial Serial;
std::uint8_t portIndex = 0;
char portSpec[kPortSpecSize] = {};

void FormatPortSpec(std::uint8_t port, std::int32_t baudRate) {
    const auto digit = static_cast<char>(static_cast<std::uint8_t>('0' + port));
    std::snprintf(portSpec, sizeof portSpec, "COM%c:%d,N,8,1", digit, static_cast<int>(baudRate));
}

void ConnectPort() {
    if (Serial.IsOpen())
        Serial.Close(); // the device is opened for exclusive use
    FormatPortSpec(static_cast<std::uint8_t>(portIndex + 1), kLinkBaudRate);
    Serial.Open(portSpec);
    if (Serial.IsOpen())
        Serial.Purge();
}
