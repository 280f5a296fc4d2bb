// On Windows the port operations are the system's own.
#include "platform.h"

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
    api.SetCommTimeouts = [](HANDLE h, COMMTIMEOUTS* t) { return ::SetCommTimeouts(h, t); };
    api.GetCommState = [](HANDLE h, DCB* dcb) { return ::GetCommState(h, dcb); };
    api.BuildCommDCBA = [](const char* mode, DCB* dcb) { return ::BuildCommDCBA(mode, dcb); };
    api.SetCommState = [](HANDLE h, DCB* dcb) { return ::SetCommState(h, dcb); };
    api.PurgeComm = [](HANDLE h, DWORD flags) { return ::PurgeComm(h, flags); };
    api.ClearCommError = [](HANDLE h, DWORD* errors, void* status) {
        return ::ClearCommError(h, errors, static_cast<LPCOMSTAT>(status));
    };
    api.ReadFile = [](HANDLE h, void* buffer, DWORD count, DWORD* received, void* overlapped) {
        const BOOL ok =
            ::ReadFile(h, buffer, count, received, static_cast<LPOVERLAPPED>(overlapped));
        // With the port's time-outs a read returns at once: pause after one that found nothing,
        // so that Read's polling loop does not keep a core busy for its whole time limit.
        if (count > 0 && (received == nullptr || *received == 0))
            ::Sleep(1);
        return ok;
    };
    api.WriteFile = [](HANDLE h, const void* buffer, DWORD count, DWORD* written,
                       void* overlapped) {
        return ::WriteFile(h, buffer, count, written, static_cast<LPOVERLAPPED>(overlapped));
    };
    api.CloseHandle = [](HANDLE h) { return ::CloseHandle(h); };
    api.GetTickCount = [] { return ::GetTickCount(); };
    api.MessageBoxA = [](HWND owner, const char* text, const char* caption, UINT type) {
        return ::MessageBoxA(owner, text, caption, type);
    };
    return api;
}
