// The loader's end of the serial line: a pseudo-terminal whose slave is linked as a port name.
#pragma once

#include <memory>
#include <string>

namespace sim {

class PtyPort {
public:
    // Creates the pair, puts the slave in raw mode at 115200 baud, keeps a descriptor of the
    // slave open (so that the master reads no end of file while no program has the port open)
    // and links <portsDir>/<port> to the slave. Nothing on failure, with the reason in error.
    static std::unique_ptr<PtyPort> Open(const std::string& portsDir, const std::string& port,
                                         std::string& error);
    ~PtyPort();

    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int MasterFd() const { return master_; }
    int SlaveFd() const { return slave_; }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Closes both ends and removes the link, if it is still ours.
    void Close();

private:
    PtyPort() = default;

    int master_ = -1;
    int slave_ = -1;
    std::string linkPath_;
    std::string slavePath_;
    bool linked_ = false;
};

} // namespace sim
