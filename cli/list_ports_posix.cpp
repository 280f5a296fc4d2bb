#include "list_ports.h"

#include "port_names.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

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

int ListPorts(bool json) {
    const std::vector<PresentPort> ports = FindPorts();
    auto join = [](const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& item : items)
            text += (text.empty() ? "" : ", ") + item;
        return text.empty() ? std::string("-") : text;
    };
    if (json) {
        for (const PresentPort& port : ports) {
            const nlohmann::ordered_json j = {
                {"device", port.device}, {"by_id", port.byId}, {"com", port.comNames}};
            std::printf("%s\n", j.dump().c_str());
        }
        return 0;
    }
    if (ports.empty()) {
        std::printf("No serial port found.\n");
        return 0;
    }
    std::size_t width = std::string("Device").size();
    for (const PresentPort& port : ports)
        width = std::max(width, port.device.size());
    std::printf("%-*s  %-6s  %s\n", static_cast<int>(width), "Device", "COM", "By id");
    for (const PresentPort& port : ports)
        std::printf("%-*s  %-6s  %s\n", static_cast<int>(width), port.device.c_str(),
                    join(port.comNames).c_str(), join(port.byId).c_str());
    return 0;
}
