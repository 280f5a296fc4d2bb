#include "list_ports.h"

#include "port_names.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

std::string Canonical(const fs::path& path) {
    std::error_code ec;
    const fs::path c = fs::canonical(path, ec);
    return ec ? std::string() : c.string();
}

// A tty with a device behind it; a ttyS node whose UART type is 0 has none.
bool HasHardware(const fs::path& sysTty) {
    std::error_code ec;
    if (!fs::exists(sysTty / "device", ec))
        return false;
    if (sysTty.filename().string().rfind("ttyS", 0) == 0) {
        std::ifstream type(sysTty / "type");
        int value = 0;
        return type >> value && value != 0;
    }
    return true;
}

} // namespace

std::vector<PresentPort> FindPorts() {
    std::map<std::string, PresentPort> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        if (!HasHardware(entry.path()))
            continue;
        const std::string device = "/dev/" + entry.path().filename().string();
        if (fs::exists(device, ec))
            ports[device].device = device;
    }
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        const std::string device = Canonical(entry.path());
        if (device.empty())
            continue;
        ports[device].device = device;
        ports[device].byId.push_back(entry.path().string());
    }
    for (char n = '1'; n <= '4'; ++n) {
        const std::string name = std::string("COM") + n;
        const std::string device = Canonical(PortDevicePath(name));
        if (device.empty())
            continue;
        // A ttyS node without a UART is no port, also when COMn falls back to it.
        if (ports.count(device) == 0 && device.rfind("/dev/ttyS", 0) == 0)
            continue;
        ports[device].device = device;
        ports[device].comNames.push_back(name);
    }
    std::vector<PresentPort> list;
    for (auto& [device, port] : ports) {
        std::sort(port.byId.begin(), port.byId.end());
        list.push_back(port);
    }
    return list;
}
