#include "port_resolve.h"

#include "port_names.h"

#include <filesystem>

namespace fs = std::filesystem;

std::optional<PortTarget> ResolvePort(const std::string& name, std::string& error) {
    PortTarget port;
    port.name = name;
    if (name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '4') {
        port.comIndex = name[3] - '1';
        port.device = PortDevicePath(name);
        return port;
    }
    if (!name.empty() && name[0] == '/') {
        port.device = name;
        return port;
    }
    error = "unknown port '" + name + "': give COM1 to COM4 or a device path such as /dev/ttyUSB0";
    return std::nullopt;
}

namespace {

// Two paths of one device: the same file once links are followed, or, for paths that do not
// exist (yet), the same path once made absolute and normal.
bool SameDevice(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec) && !ec)
        return true;
    const fs::path ca = fs::weakly_canonical(a, ec);
    if (ec)
        return a == b;
    const fs::path cb = fs::weakly_canonical(b, ec);
    if (ec)
        return a == b;
    return ca == cb;
}

} // namespace

std::string FindDuplicatePort(const std::vector<PortTarget>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (std::size_t j = i + 1; j < ports.size(); ++j) {
            if (ports[i].name == ports[j].name)
                return "port " + ports[i].name + " is given twice";
            if (SameDevice(ports[i].device, ports[j].device))
                return "ports " + ports[i].name + " and " + ports[j].name +
                       " are the same device (" + ports[i].device + ")";
        }
    }
    return {};
}
