// A private configuration directory for a test: the tool looks up port links in it.
#pragma once

#include <optional>
#include <string>

class TempPortsDir {
public:
    // Makes a fresh directory under $TMPDIR (or /tmp), points XDG_CONFIG_HOME at it and creates
    // <dir>/brisko-k71/ports. Throws std::runtime_error on failure.
    TempPortsDir();
    // Restores XDG_CONFIG_HOME and removes the whole tree.
    ~TempPortsDir();

    TempPortsDir(const TempPortsDir&) = delete;
    TempPortsDir& operator=(const TempPortsDir&) = delete;

    // The temporary directory itself, which XDG_CONFIG_HOME names.
    const std::string& Root() const { return root_; }
    // <root>/brisko-k71/ports, where "COMn" is looked up.
    const std::string& PortsDir() const { return portsDir_; }

    // Makes <ports dir>/<port> a symbolic link to target (which need not exist), replacing
    // what link was there; returns the link's path.
    std::string Link(const std::string& port, const std::string& target);

private:
    std::string root_;
    std::string portsDir_;
    std::optional<std::string> oldConfigHome_;
};
