// Watches the opens and closes of the pseudo-terminal's slave by other programs.
//
// A serial device forgets its exclusive-use mark (TIOCEXCL) when the last program closes it.
// The simulator's own descriptor keeps the pseudo-terminal open, so the mark would stay and
// the next open by an ordinary user would fail with EBUSY; the watch clears the mark when the
// last other program has closed the slave.
#pragma once

#include <string>

namespace sim {

class SlaveWatch {
public:
    // Watches slavePath; ownSlaveFd is the simulator's descriptor of the same device.
    SlaveWatch(const std::string& slavePath, int ownSlaveFd);
    ~SlaveWatch();

    SlaveWatch(const SlaveWatch&) = delete;
    SlaveWatch& operator=(const SlaveWatch&) = delete;

    // Descriptor to poll for input; -1 when watching is not possible.
    int Fd() const { return inotify_; }

    // Reads the pending notifications and acts on them.
    void Handle();

    // Whether another program has the slave open (true when that cannot be known).
    bool OpenByOthers() const { return inotify_ < 0 || openByOthers_ > 0; }

private:
    int inotify_ = -1;
    int ownSlaveFd_;
    int openByOthers_ = 0;
};

} // namespace sim
