#include "slave_watch.h"

#include <cstddef>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sim {

SlaveWatch::SlaveWatch(const std::string& slavePath, int ownSlaveFd) : ownSlaveFd_(ownSlaveFd) {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0)
        return;
    // Opens made before this watch are the simulator's own.
    if (inotify_add_watch(inotify_, slavePath.c_str(),
                          IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        close(inotify_);
        inotify_ = -1;
    }
}

SlaveWatch::~SlaveWatch() {
    if (inotify_ >= 0)
        close(inotify_);
}

void SlaveWatch::Handle() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = read(inotify_, buffer, sizeof buffer);
        if (length <= 0)
            return;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (event->mask & IN_OPEN)
                ++openByOthers_;
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (--openByOthers_ <= 0) {
                    openByOthers_ = 0;
                    ioctl(ownSlaveFd_, TIOCNXCL);
                }
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace sim
