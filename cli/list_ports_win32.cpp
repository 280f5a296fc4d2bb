#include "list_ports.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

// The COMn names the serial drivers registered, with the kernel device behind each.
void AddRegistered(std::map<int, PresentPort>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char value[256];
        DWORD valueSize = sizeof value;
        char data[64] = {};
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, i, value, &valueSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::string name = data;
        if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
            const int number = std::atoi(name.c_str() + 3);
            if (number > 0)
                ports[number].device = name;
        }
    }
    RegCloseKey(key);
}

// Every COMn the system knows a device for, also those no driver registered (a link made by
// hand, or Wine's COM names).
void AddDosDevices(std::map<int, PresentPort>& ports) {
    for (int number = 1; number <= 255; ++number) {
        const std::string name = "COM" + std::to_string(number);
        char target[512];
        if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0)
            ports[number].device = name;
    }
}

} // namespace

// On Windows a port's device is its COMn name; COM1 to COM4 are also the names the desktop
// program offers. There are no by-id names.
std::vector<PresentPort> FindPorts() {
    std::map<int, PresentPort> ports;
    AddRegistered(ports);
    AddDosDevices(ports);
    std::vector<PresentPort> list;
    for (auto& [number, port] : ports) {
        if (number <= 4)
            port.comNames.push_back(port.device);
        list.push_back(port);
    }
    return list;
}
