#include "port_resolve.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// "COM" and a number from 1 to 255, the names Windows gives serial ports.
bool IsComName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0')
        return false;
    if (!std::all_of(name.begin() + 3, name.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }))
        return false;
    return std::stoi(name.substr(3)) <= 255;
}

constexpr const char* kDevicePrefix = "\\\\.\\";

} // namespace

// COM1 to COM4 are opened by the upload under their own names, as the desktop program opens
// them. Any other port is a device name, "COM12" or "\\.\COM12", that the worker opens in their
// place; COM10 and above open only in the "\\.\" form, which every COMn accepts.
std::optional<PortTarget> ResolvePort(const std::string& name, std::string& error) {
    PortTarget port;
    port.name = name;
    const std::string upper = Upper(name);
    const std::string prefix = kDevicePrefix;
    const std::string bare =
        upper.compare(0, prefix.size(), prefix) == 0 ? upper.substr(prefix.size()) : upper;
    if (IsComName(bare)) {
        port.device = prefix + bare;
        if (bare == upper && bare.size() == 4 && bare[3] <= '4')
            port.comIndex = bare[3] - '1';
        return port;
    }
    if (upper.size() > prefix.size() && upper.compare(0, prefix.size(), prefix) == 0) {
        port.device = name;
        return port;
    }
    error = "unknown port '" + name +
            "': give COM1 to COM4 or a device name such as COM12 or \\\\.\\COM12";
    return std::nullopt;
}

std::string FindDuplicatePort(const std::vector<PortTarget>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        for (std::size_t j = i + 1; j < ports.size(); ++j) {
            if (ports[i].name == ports[j].name)
                return "port " + ports[i].name + " is given twice";
            // Windows' device names are the same in any case.
            if (Upper(ports[i].device) == Upper(ports[j].device))
                return "ports " + ports[i].name + " and " + ports[j].name +
                       " are the same device (" + ports[i].device + ")";
        }
    }
    return {};
}
