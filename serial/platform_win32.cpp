// On Windows the port operations are the system's own.
#include "platform.h"

namespace {

// Read's polling loop asks for what has arrived again and again until its time limit. A read
// that returns at once with nothing would keep a core busy for the whole limit, so a read waits
// up to this long for its first byte, and returns as soon as one is there. It is set here, under
// whatever time-outs the port logic asks for, so that the port logic stays the same everywhere.
constexpr DWORD kFirstByteWait = 10; // ms

// The result of a read or a write as the port logic takes it: only a device that has gone away
// (an adapter unplugged: the system then fails the call with ERROR_ACCESS_DENIED,
// ERROR_BAD_COMMAND, ERROR_DEVICE_NOT_CONNECTED and the like) is a failure. A time-out that some
// drivers report as an error is success with what was moved, and so is a line error that
// aborted the call; the line error is cleared so that the next call goes through.
BOOL PortCallResult(HANDLE h, BOOL ok) {
    if (ok)
        return TRUE;
    switch (::GetLastError()) {
    case ERROR_OPERATION_ABORTED: {
        DWORD errors = 0;
        ::ClearCommError(h, &errors, nullptr);
        return TRUE;
    }
    case ERROR_SEM_TIMEOUT:
    case ERROR_TIMEOUT:
    case ERROR_COUNTER_TIMEOUT:
    case WAIT_TIMEOUT:
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

PlatformApi SystemPlatform() {
    PlatformApi api;
    api.GetVersionExA = [](OSVERSIONINFOA* info) { return ::GetVersionExA(info); };
    api.CreateFileA = [](const char* name, DWORD access, DWORD share, void* security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
        return ::CreateFileA(name, access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                             disposition, flags, templateFile);
    };
    api.SetupComm = [](HANDLE h, DWORD in, DWORD out) { return ::SetupComm(h, in, out); };
    api.GetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* t) { return ::GetCommTimeouts(h, t); };
    api.SetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* t) {
        // Both MAXDWORD with a constant: return at once with what is there, or wait up to the
        // constant for the first byte and return with it.
        COMMTIMEOUTS timeouts = *t;
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = kFirstByteWait;
        return ::SetCommTimeouts(h, &timeouts);
    };
    api.GetCommState = [](HANDLE h, DCB* dcb) { return ::GetCommState(h, dcb); };
    api.BuildCommDCBA = [](const char* mode, DCB* dcb) { return ::BuildCommDCBA(mode, dcb); };
    api.SetCommState = [](HANDLE h, DCB* dcb) { return ::SetCommState(h, dcb); };
    api.PurgeComm = [](HANDLE h, DWORD flags) { return ::PurgeComm(h, flags); };
    api.ClearCommError = [](HANDLE h, DWORD* errors, void* status) {
        return ::ClearCommError(h, errors, static_cast<LPCOMSTAT>(status));
    };
    api.ReadFile = [](HANDLE h, void* buffer, DWORD count, DWORD* received, void* overlapped) {
        return PortCallResult(
            h, ::ReadFile(h, buffer, count, received, static_cast<LPOVERLAPPED>(overlapped)));
    };
    api.WriteFile = [](HANDLE h, const void* buffer, DWORD count, DWORD* written,
                       void* overlapped) {
        return PortCallResult(
            h, ::WriteFile(h, buffer, count, written, static_cast<LPOVERLAPPED>(overlapped)));
    };
    api.CloseHandle = [](HANDLE h) { return ::CloseHandle(h); };
    api.GetTickCount = [] { return ::GetTickCount(); };
    api.MessageBoxA = [](HWND owner, const char* text, const char* caption, UINT type) {
        return ::MessageBoxA(owner, text, caption, type);
    };
    return api;
}
