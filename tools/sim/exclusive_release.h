// A serial device forgets its exclusive-use mark (TIOCEXCL) when the last program closes it.
// The simulator's own descriptor keeps the pseudo-terminal open, so the mark would stay and
// the next open by an ordinary user would fail with EBUSY. This watches the slave's opens and
// closes by other programs and clears the mark when the last of them has closed it.
#pragma once

#include <string>

namespace sim {

class ExclusiveRelease {
public:
    // Watches slavePath; ownSlaveFd is the simulator's descriptor of the same device.
    ExclusiveRelease(const std::string& slavePath, int ownSlaveFd);
    ~ExclusiveRelease();

    ExclusiveRelease(const ExclusiveRelease&) = delete;
    ExclusiveRelease& operator=(const ExclusiveRelease&) = delete;

    // Descriptor to poll for input; -1 when watching is not possible.
    int Fd() const { return inotify_; }

    // Reads the pending notifications and acts on them.
    void Handle();

private:
    int inotify_ = -1;
    int ownSlaveFd_;
    int openByOthers_ = 0;
};

} // namespace sim
