#include "serie.h"

#include <cstring>

std::int32_t osPlatform = 0;

namespace {

constexpr DWORD kQueueSize = 1024;           // bytes, each way
constexpr DWORD kWriteTimeoutPerByte = 200;  // ms
constexpr DWORD kWriteTimeoutConstant = 200; // ms
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kPurgeInput = PURGE_RXCLEAR;
constexpr std::size_t kDeviceNameLength = 4; // "COM3"

} // namespace

CSerial::CSerial() : handle(INVALID_HANDLE_VALUE) {}

CSerial::~CSerial() {
    Close();
}

void CSerial::FailOpen(const char* message) {
    Platform().MessageBoxA(nullptr, message, nullptr, MB_OK);
    if (handle != INVALID_HANDLE_VALUE)
        Platform().CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

void CSerial::Open(const char* portSpec) {
    PlatformApi& os = Platform();

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    os.GetVersionExA(&version);
    osPlatform = static_cast<std::int32_t>(version.dwPlatformId);

    char device[kDeviceNameLength + 1] = {};
    std::strncpy(device, portSpec, kDeviceNameLength);

    handle =
        os.CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        FailOpen("Could not create handle");
        return;
    }
    if (!os.SetupComm(handle, kQueueSize, kQueueSize)) {
        FailOpen("SetupComm failed");
        return;
    }
    COMMTIMEOUTS timeouts{};
    if (!os.GetCommTimeouts(handle, &timeouts)) {
        FailOpen("GetCommTimeouts failed");
        return;
    }
    // Reads return at once with what has arrived; Read does its own timing.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutPerByte;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutConstant;
    if (!os.SetCommTimeouts(handle, &timeouts)) {
        FailOpen("SetCommTimeouts failed");
        return;
    }
    DCB dcb{};
    if (!os.GetCommState(handle, &dcb)) {
        FailOpen("GetCommState failed");
        return;
    }
    if (!os.BuildCommDCBA(portSpec, &dcb)) {
        FailOpen("BuildCommDCB failed");
        return;
    }
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!os.SetCommState(handle, &dcb)) {
        FailOpen("SetCommState failed");
        return;
    }
}

void CSerial::Close() {
    PlatformApi& os = Platform();
    DWORD errors = 0;
    os.ClearCommError(handle, &errors, nullptr);
    os.PurgeComm(handle, kPurgeAll);
    os.CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    deviceGone = false;
}

void CSerial::Purge() {
    Platform().PurgeComm(handle, kPurgeAll);
}

void CSerial::PurgeInput() {
    Platform().PurgeComm(handle, kPurgeInput);
}

void CSerial::CloseIfGone() {
    if (IsOpen() && deviceGone)
        Close();
}

void CSerial::Note(BOOL ok) {
    if (!ok && IsOpen())
        deviceGone = true;
}

bool CSerial::IsOpen() const {
    return handle != INVALID_HANDLE_VALUE;
}

std::uint32_t CSerial::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeLimit) {
    PlatformApi& os = Platform();
    std::memset(buffer, 0xFF, count);

    DWORD received = 0;
    Note(os.ReadFile(handle, buffer, count, &received, nullptr));
    std::uint32_t total = received;

    // The time limit runs from the end of the first read; an unsigned difference survives the
    // tick counter's wrap.
    const DWORD start = os.GetTickCount();
    for (;;) {
        if (static_cast<std::uint32_t>(os.GetTickCount() - start) >= timeLimit)
            break;
        if (total >= count)
            break;
        received = 0;
        Note(os.ReadFile(handle, buffer + total, count - total, &received, nullptr));
        total += received;
    }
    return total;
}

std::uint32_t CSerial::Write(const std::uint8_t* buffer, std::uint32_t count) {
    PlatformApi& os = Platform();
    if (osPlatform < 2) {
        std::uint32_t total = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            DWORD written = 0;
            Note(os.WriteFile(handle, buffer + i, 1, &written, nullptr));
            total += written;
        }
        return total;
    }
    DWORD written = 0;
    Note(os.WriteFile(handle, buffer, count, &written, nullptr));
    return written;
}
