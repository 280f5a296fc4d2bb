// The operating-system operations that CSerial is written against.
//
// On Windows these are the system's own serial calls. Elsewhere they are implemented over POSIX
// termios (platform_posix.cpp) with the same names, arguments and results, so that the port logic
// above them exists once. Every call goes through one table, Platform(), so that a test can
// replace any operation with a fake, one at a time.
#pragma once

#include <cstdint>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using HANDLE = void*;
using HWND = void*;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;

inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

inline constexpr UINT MB_OK = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;

inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

// The line settings of a port: only the members that the port logic and the termios layer use.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fParity : 1;
    DWORD fRtsControl : 2;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
};

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};
#endif

// One entry per operation. The defaults are the system's (or the termios layer's) functions.
//
// What CSerial relies on beyond the system's own documentation, which every layer must keep:
// - ReadFile and WriteFile on an open port return FALSE only when the port's device has gone
//   away (an adapter unplugged, the line hung up; on Windows the calls then fail, with
//   ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND or ERROR_DEVICE_NOT_CONNECTED for example). All else is
//   success with a count: a read that finds nothing returns TRUE with 0 bytes, a write whose
//   time-out ran out returns TRUE with the bytes taken so far, and a line error that the
//   driver reports as an aborted call (fAbortOnError) is cleared with ClearCommError and
//   reported as TRUE with what was moved. CSerial closes a port whose device is gone once the
//   upload's step has ended, so that the next upload opens it afresh.
// - PurgeComm with PURGE_RXCLEAR alone (or with PURGE_RXABORT) empties the input queue and
//   leaves the output queue, bytes still to be sent, untouched.
struct PlatformApi {
    std::function<BOOL(OSVERSIONINFOA* info)> GetVersionExA;
    std::function<HANDLE(const char* name, DWORD access, DWORD shareMode, void* security,
                         DWORD disposition, DWORD flags, HANDLE templateFile)>
        CreateFileA;
    std::function<BOOL(HANDLE h, DWORD inQueue, DWORD outQueue)> SetupComm;
    std::function<BOOL(HANDLE h, COMMTIMEOUTS* timeouts)> GetCommTimeouts;
    std::function<BOOL(HANDLE h, COMMTIMEOUTS* timeouts)> SetCommTimeouts;
    std::function<BOOL(HANDLE h, DCB* dcb)> GetCommState;
    std::function<BOOL(const char* mode, DCB* dcb)> BuildCommDCBA;
    std::function<BOOL(HANDLE h, DCB* dcb)> SetCommState;
    std::function<BOOL(HANDLE h, DWORD flags)> PurgeComm;
    std::function<BOOL(HANDLE h, DWORD* errors, void* status)> ClearCommError;
    std::function<BOOL(HANDLE h, void* buffer, DWORD count, DWORD* received, void* overlapped)>
        ReadFile;
    std::function<BOOL(HANDLE h, const void* buffer, DWORD count, DWORD* written, void* overlapped)>
        WriteFile;
    std::function<BOOL(HANDLE h)> CloseHandle;
    std::function<DWORD()> GetTickCount;
    std::function<int(HWND owner, const char* text, const char* caption, UINT type)> MessageBoxA;
};

// The table in force. It lives until the process ends, so the port object's destructor can still
// use it at exit.
PlatformApi& Platform();

// The system's own operations, to restore the table after a test replaced entries.
PlatformApi SystemPlatform();
