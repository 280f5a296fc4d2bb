// CSerial: the one serial port of the program, opened for exclusive use, read with a time limit
// and written in one of two modes.
#pragma once

#include "platform.h"

#include <cstdint>

// Platform identifier taken at the start of every Open: below 2 Write goes byte by byte, from 2
// on in one platform write. One value for the whole program, 0 until the first Open.
extern std::int32_t osPlatform;

class CSerial {
public:
    CSerial();
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // Opens and configures the port named by the first four characters of portSpec, with the
    // line settings of the whole text ("COM3:115200,N,8,1"). A failing step shows its message
    // in a box and leaves the port closed; callers test IsOpen.
    void Open(const char* portSpec);
    void Close();
    void Purge();
    // Discards what has arrived and not been read; what is still to be sent stays.
    void PurgeInput();
    bool IsOpen() const;

    // True once a platform read or write on the open port failed: its device has gone away
    // (unplugged). Only Close forgets it.
    bool DeviceGone() const { return deviceGone; }
    // Closes the port if its device has gone away, so that the next connection opens it afresh;
    // called when an upload's step has ended. A port that is merely silent stays open.
    void CloseIfGone();

    // Sets count bytes of buffer to 0xFF, then stores what arrives from the start of the buffer
    // until count bytes are in or timeLimit milliseconds have passed. Returns the bytes received.
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeLimit);
    std::uint32_t Write(const std::uint8_t* buffer, std::uint32_t count);

private:
    void FailOpen(const char* message);
    // Notes the result of a platform read or write: a failure on an open port means the device
    // is gone.
    void Note(BOOL ok);

    HANDLE handle;
    bool deviceGone = false;
};
