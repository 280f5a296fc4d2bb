// A scripted port layer for tests of CSerial and the connection: every operation succeeds unless
// told otherwise, and every call is recorded. Restores the system's layer when it ends.
#pragma once

#include "platform.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // Names of the operations called, in order ("CreateFileA", "ReadFile", ...).
    std::vector<std::string> calls;
    // Texts of the message boxes shown, in order.
    std::vector<std::string> boxes;
    // The one operation that reports failure, by name; empty for none.
    std::string failing;

    DWORD platformId = VER_PLATFORM_WIN32_NT;
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x1234));
    std::string openedName; // the device name given to CreateFileA
    std::string modeText;   // the text given to BuildCommDCBA
    COMMTIMEOUTS timeoutsSet{};
    DCB stateSet{};

    // What each ReadFile delivers, in turn; an empty piece or none left delivers nothing.
    std::deque<std::vector<std::uint8_t>> pieces;
    std::vector<DWORD> readCounts; // the count each ReadFile asked for

    // GetTickCount returns tick, then advances it by tickStep.
    DWORD tick = 0;
    DWORD tickStep = 1;

    std::vector<DWORD> purges;                     // the flags of each PurgeComm
    std::vector<std::vector<std::uint8_t>> writes; // the bytes of each WriteFile
    // At most this many bytes taken per write, as when the write time-out runs out: the write
    // still succeeds.
    DWORD writeLimit = 0xFFFFFFFFu;
    // The device has gone away: every ReadFile and WriteFile fails and moves no byte.
    bool gone = false;

    std::size_t Count(const std::string& name) const;
};
