#include "temp_ports.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace {

std::string TempBase() {
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && base[0] != '\0' ? base : "/tmp";
}

} // namespace

TempPortsDir::TempPortsDir() {
    std::string pattern = TempBase() + "/brisko-k71-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
    root_ = name.data();
    portsDir_ = root_ + "/brisko-k71/ports";
    std::filesystem::create_directories(portsDir_);

    if (const char* old = std::getenv("XDG_CONFIG_HOME"))
        oldConfigHome_ = old;
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
}

TempPortsDir::~TempPortsDir() {
    if (oldConfigHome_)
        setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempPortsDir::Link(const std::string& port, const std::string& target) {
    const std::string link = portsDir_ + "/" + port;
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    if (symlink(target.c_str(), link.c_str()) != 0)
        throw std::runtime_error("symlink " + link + ": " + std::strerror(errno));
    return link;
}
