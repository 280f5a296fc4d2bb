#include "port_names.h"

#include <cstdlib>
#include <sys/stat.h>

std::string PortsDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0')
            return {};
        base = std::string(home) + "/.config";
    }
    return base + "/brisko-k71/ports";
}

std::string PortDevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return name; // already a device path
    if (name.size() != 4 || name.compare(0, 3, "COM") != 0 || name[3] < '1' || name[3] > '9')
        return {};
    const std::string dir = PortsDirectory();
    if (!dir.empty()) {
        const std::string link = dir + "/" + name;
        struct stat st {};
        // lstat: a link that points nowhere is still the user's choice, and fails to open.
        if (lstat(link.c_str(), &st) == 0)
            return link;
    }
    return "/dev/ttyS" + std::to_string(name[3] - '1');
}
