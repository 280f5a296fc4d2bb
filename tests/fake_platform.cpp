#include "fake_platform.h"

#include "serie.h"

#include <algorithm>
#include <cstring>

FakePlatform::FakePlatform() {
    PlatformApi& api = Platform();
    auto result = [this](const char* name) -> BOOL {
        calls.emplace_back(name);
        return failing == name ? 0 : 1;
    };
    api.GetVersionExA = [this, result](OSVERSIONINFOA* info) {
        info->dwPlatformId = platformId;
        return result("GetVersionExA");
    };
    api.CreateFileA = [this](const char* name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
        calls.emplace_back("CreateFileA");
        openedName = name;
        return failing == "CreateFileA" ? INVALID_HANDLE_VALUE : handle;
    };
    api.SetupComm = [result](HANDLE, DWORD, DWORD) { return result("SetupComm"); };
    api.GetCommTimeouts = [result](HANDLE, COMMTIMEOUTS* t) {
        *t = COMMTIMEOUTS{1, 2, 3, 4, 5};
        return result("GetCommTimeouts");
    };
    api.SetCommTimeouts = [this, result](HANDLE, COMMTIMEOUTS* t) {
        timeoutsSet = *t;
        return result("SetCommTimeouts");
    };
    api.GetCommState = [result](HANDLE, DCB* dcb) {
        *dcb = DCB{};
        dcb->fRtsControl = RTS_CONTROL_ENABLE;
        return result("GetCommState");
    };
    api.BuildCommDCBA = [this, result](const char* mode, DCB* dcb) {
        modeText = mode;
        dcb->BaudRate = 115200;
        return result("BuildCommDCBA");
    };
    api.SetCommState = [this, result](HANDLE, DCB* dcb) {
        stateSet = *dcb;
        return result("SetCommState");
    };
    api.PurgeComm = [this, result](HANDLE, DWORD flags) {
        purges.push_back(flags);
        return result("PurgeComm");
    };
    api.ClearCommError = [result](HANDLE, DWORD*, void*) { return result("ClearCommError"); };
    api.CloseHandle = [result](HANDLE) { return result("CloseHandle"); };
    api.ReadFile = [this](HANDLE, void* buffer, DWORD count, DWORD* received, void*) {
        calls.emplace_back("ReadFile");
        readCounts.push_back(count);
        *received = 0;
        if (gone)
            return BOOL{0};
        if (!pieces.empty()) {
            std::vector<std::uint8_t> piece = std::move(pieces.front());
            pieces.pop_front();
            const DWORD n = std::min<DWORD>(count, static_cast<DWORD>(piece.size()));
            if (n > 0)
                std::memcpy(buffer, piece.data(), n);
            *received = n;
        }
        return BOOL{1};
    };
    api.WriteFile = [this](HANDLE, const void* buffer, DWORD count, DWORD* written, void*) {
        calls.emplace_back("WriteFile");
        const DWORD n = gone ? 0 : std::min(count, writeLimit);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        writes.emplace_back(bytes, bytes + n);
        *written = n;
        return BOOL{!gone};
    };
    api.GetTickCount = [this] {
        const DWORD now = tick;
        tick += tickStep;
        return now;
    };
    api.MessageBoxA = [this](HWND, const char* text, const char*, UINT) {
        boxes.emplace_back(text);
        return 1;
    };
}

FakePlatform::~FakePlatform() {
    Platform() = SystemPlatform();
    osPlatform = 0;
}

std::size_t FakePlatform::Count(const std::string& name) const {
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), name));
}
