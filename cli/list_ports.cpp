#include "list_ports.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

int ListPorts(bool json) {
    const std::vector<PresentPort> ports = FindPorts();
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
    auto join = [](const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& item : items)
            text += (text.empty() ? "" : ", ") + item;
        return text.empty() ? std::string("-") : text;
    };
    std::size_t width = std::string("Device").size();
    for (const PresentPort& port : ports)
        width = std::max(width, port.device.size());
    std::printf("%-*s  %-6s  %s\n", static_cast<int>(width), "Device", "COM", "By id");
    for (const PresentPort& port : ports)
        std::printf("%-*s  %-6s  %s\n", static_cast<int>(width), port.device.c_str(),
                    join(port.comNames).c_str(), join(port.byId).c_str());
    return 0;
}
