#include "pty_port.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool SetRaw(int fd, std::string& error) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        error = Errno("tcgetattr");
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        error = Errno("tcsetattr");
        return false;
    }
    return true;
}

// Points linkPath at target, replacing a link that is already there in one step.
bool Link(const std::string& target, const std::string& linkPath, std::string& error) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = linkPath + " exists and is not a symbolic link";
        return false;
    }
    const std::string temporary = linkPath + ".new-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = Errno("symlink " + temporary);
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = Errno("rename to " + linkPath);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<PtyPort> PtyPort::Open(const std::string& portsDir, const std::string& port,
                                       std::string& error) {
    std::unique_ptr<PtyPort> pty(new PtyPort);
    pty->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master_ < 0) {
        error = Errno("posix_openpt");
        return nullptr;
    }
    if (grantpt(pty->master_) != 0 || unlockpt(pty->master_) != 0) {
        error = Errno("grantpt/unlockpt");
        return nullptr;
    }
    char name[PATH_MAX];
    if (ptsname_r(pty->master_, name, sizeof name) != 0) {
        error = Errno("ptsname_r");
        return nullptr;
    }
    pty->slavePath_ = name;
    pty->slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave_ < 0) {
        error = Errno("open " + pty->slavePath_);
        return nullptr;
    }
    if (!SetRaw(pty->slave_, error))
        return nullptr;
    const int flags = fcntl(pty->master_, F_GETFL);
    if (flags < 0 || fcntl(pty->master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Errno("fcntl O_NONBLOCK");
        return nullptr;
    }

    std::error_code ec;
    std::filesystem::create_directories(portsDir, ec);
    if (ec) {
        error = "cannot create " + portsDir + ": " + ec.message();
        return nullptr;
    }
    pty->linkPath_ = portsDir + "/" + port;
    if (!Link(pty->slavePath_, pty->linkPath_, error))
        return nullptr;
    pty->linked_ = true;
    return pty;
}

PtyPort::~PtyPort() {
    Close();
}

void PtyPort::Close() {
    if (linked_) {
        char target[PATH_MAX];
        const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
        // Another simulator may have taken the name over since; leave its link alone.
        if (length >= 0 && slavePath_ == std::string(target, static_cast<std::size_t>(length)))
            unlink(linkPath_.c_str());
        linked_ = false;
    }
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = -1;
    slave_ = -1;
}

} // namespace sim
