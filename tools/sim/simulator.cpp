#include "simulator.h"

#include "line_timing.h"
#include "report.h"
#include "slave_watch.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <utility>

namespace sim {

namespace {

constexpr std::size_t kReadSize = 64 * 1024;
constexpr int kReadsPerWakeUp = 16;       // then let the rest of the loop run
constexpr std::size_t kGarbagePaced = 64; // bytes queued at a time when paced
constexpr std::size_t kGarbageUnpaced = 4096;
constexpr std::int64_t kLingerNs = 2000 * kNsPerMs; // the host's time limit for one read
constexpr int kLingerStepMs = 10;
constexpr int kSettleMs = 10; // quiet time that ends the reading of the last frames
constexpr std::int64_t kSettleLimitNs = 500 * kNsPerMs;

std::optional<std::int64_t> Earliest(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

void Drain(int fd) {
    std::array<char, 256> sink{};
    while (read(fd, sink.data(), sink.size()) > 0) {
    }
}

} // namespace

Simulator::Simulator(const Options& options, PtyPort& port)
    : options_(options), port_(port), loader_(options, *this), received_(options.pace),
      transmit_(options.pace), garbage_(options.seed) {
    timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    signals_ = signalfd(-1, &stopping, SFD_NONBLOCK | SFD_CLOEXEC);
}

Simulator::~Simulator() {
    if (timer_ >= 0)
        close(timer_);
    if (signals_ >= 0)
        close(signals_);
}

void Simulator::Send(Outgoing outgoing) {
    if (garbageOn_)
        return;
    if (outgoing.bytes.empty()) {
        Emit("%s", outgoing.line.c_str());
        return;
    }
    transmit_.Push(std::move(outgoing));
}

void Simulator::StartGarbage() {
    garbageOn_ = true;
    Emit("TX garbage");
}

void Simulator::HangUp() {
    hangUpPending_ = true;
}

bool Simulator::ReadHost(std::int64_t nowNs) {
    std::array<std::uint8_t, kReadSize> buffer;
    for (int i = 0; i < kReadsPerWakeUp; ++i) {
        const ssize_t count = read(port_.MasterFd(), buffer.data(), buffer.size());
        if (count > 0) {
            received_.Push(buffer.data(), static_cast<std::size_t>(count), nowNs);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO cannot come while the simulator holds the slave open.
        return count < 0 && errno == EAGAIN;
    }
    return true;
}

void Simulator::Process(std::int64_t nowNs) {
    while (!hangUpPending_) {
        std::optional<std::int64_t> bytesAtNs;
        std::size_t take = 0;
        if (received_.Size() > 0) {
            take = std::min(loader_.Wanted(), received_.Size());
            bytesAtNs = received_.ArrivalNs(take - 1);
        }
        const auto deadline = loader_.DeadlineNs();
        const bool bytesDue = bytesAtNs && *bytesAtNs <= nowNs;
        // Whatever came first on the line is handled first.
        if (deadline && *deadline <= nowNs && (!bytesDue || *deadline < *bytesAtNs)) {
            loader_.OnDeadline(*deadline);
            continue;
        }
        if (!bytesDue)
            return;
        loader_.Feed(received_.Data(), take, *bytesAtNs);
        received_.Consume(take);
    }
}

void Simulator::Transmit(std::int64_t nowNs) {
    while (!writeBlocked_) {
        if (transmit_.Empty() && garbageOn_) {
            const std::size_t size = options_.pace ? kGarbagePaced : kGarbageUnpaced;
            transmit_.Push(Outgoing{garbage_.Next(size), nowNs, {}});
        }
        const std::size_t due = transmit_.DueBytes(nowNs);
        if (due == 0)
            return;
        const ssize_t written = write(port_.MasterFd(), transmit_.DueData(), due);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            writeBlocked_ = true; // EAGAIN: the host's input queue is full
            return;
        }
        const auto line = transmit_.Written(static_cast<std::size_t>(written));
        if (line && !line->empty())
            Emit("%s", line->c_str());
        if (static_cast<std::size_t>(written) < due)
            writeBlocked_ = true;
    }
}

std::optional<std::int64_t> Simulator::NextEventNs() {
    std::optional<std::int64_t> next;
    if (!hangUpPending_) {
        if (received_.Size() > 0)
            next = received_.ArrivalNs(std::min(loader_.Wanted(), received_.Size()) - 1);
        next = Earliest(next, loader_.DeadlineNs());
    }
    if (!writeBlocked_)
        next = Earliest(next, transmit_.NextDueNs());
    return next;
}

void Simulator::ArmTimer(std::optional<std::int64_t> atNs) {
    itimerspec setting{};
    if (atNs) {
        // A time already past still fires, at once.
        const std::int64_t at = std::max<std::int64_t>(*atNs, 1);
        setting.it_value.tv_sec = static_cast<time_t>(at / kNsPerSecond);
        setting.it_value.tv_nsec = static_cast<long>(at % kNsPerSecond);
    }
    timerfd_settime(timer_, TFD_TIMER_ABSTIME, &setting, nullptr);
}

void Simulator::LetHostRead(SlaveWatch& watch) {
    // Closing the master hangs the line up, and the kernel then drops whatever the host has
    // not read yet; so the last answer is given the time the host allows itself to read it.
    const std::int64_t untilNs = MonotonicNs() + kLingerNs;
    std::array<pollfd, 2> fds{{{signals_, POLLIN, 0}, {watch.Fd(), POLLIN, 0}}};
    for (;;) {
        // The first wait also lets the kernel hand the last bytes written to the slave's queue.
        if (poll(fds.data(), fds.size(), kLingerStepMs) > 0 && (fds[0].revents & POLLIN))
            return;
        if (fds[1].revents & POLLIN)
            watch.Handle();
        int unread = 0;
        if (!watch.OpenByOthers() || ioctl(port_.SlaveFd(), FIONREAD, &unread) != 0 ||
            unread == 0 || MonotonicNs() >= untilNs)
            return;
    }
}

void Simulator::TakeLastFrames() {
    // Frames the host wrote just before the simulator was told to stop still belong to the
    // account; take what is there and what is still on its way, then judge it all at once.
    pollfd fd{port_.MasterFd(), POLLIN, 0};
    const std::int64_t untilNs = MonotonicNs() + kSettleLimitNs; // a host that never stops
    do {
        if (!ReadHost(MonotonicNs()))
            break;
    } while (MonotonicNs() < untilNs && poll(&fd, 1, kSettleMs) > 0 && (fd.revents & POLLIN));
    if (received_.Size() > 0 && !hangUpPending_) {
        loader_.Feed(received_.Data(), received_.Size(), MonotonicNs());
        received_.Consume(received_.Size());
    }
}

bool Simulator::Done() const {
    return options_.exitAfter > 0 && loader_.CompletedDialogues() >= options_.exitAfter &&
           transmit_.Empty() && !garbageOn_;
}

int Simulator::Run() {
    if (timer_ < 0 || signals_ < 0) {
        std::perror("brisko-k71-sim: timerfd/signalfd");
        return 2;
    }
    SlaveWatch watch(port_.SlavePath(), port_.SlaveFd());
    enum { kMaster, kTimer, kSignals, kSlaveWatch, kCount };
    std::array<pollfd, kCount> fds{};
    fds[kMaster].fd = port_.MasterFd();
    fds[kTimer] = {timer_, POLLIN, 0};
    fds[kSignals] = {signals_, POLLIN, 0};
    fds[kSlaveWatch] = {watch.Fd(), POLLIN, 0};

    bool finished = false; // by a hang-up or the last dialogue, not by a signal
    for (;;) {
        const std::int64_t nowNs = MonotonicNs();
        Process(nowNs);
        Transmit(nowNs);
        if ((hangUpPending_ && transmit_.Empty()) || Done()) {
            finished = true;
            break;
        }
        ArmTimer(NextEventNs());

        fds[kMaster].events = static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0));
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("brisko-k71-sim: poll");
            break;
        }
        if (fds[kSignals].revents & POLLIN) {
            TakeLastFrames();
            break;
        }
        if (fds[kTimer].revents & POLLIN)
            Drain(timer_);
        if (fds[kSlaveWatch].revents & POLLIN)
            watch.Handle();
        const short master = fds[kMaster].revents;
        if (master & POLLOUT)
            writeBlocked_ = false;
        if (master & POLLIN) {
            if (!ReadHost(MonotonicNs()))
                break;
        } else if (master & (POLLHUP | POLLERR | POLLNVAL)) {
            std::fprintf(stderr, "brisko-k71-sim: the pseudo-terminal went away\n");
            break;
        }
    }
    if (finished)
        LetHostRead(watch);
    port_.Close();
    loader_.Finish();
    return loader_.AnyViolation() ? 1 : 0;
}

} // namespace sim
