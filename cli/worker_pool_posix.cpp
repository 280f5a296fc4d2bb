#include "worker_pool.h"

#include "stop_flag.h"
#include "worker.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kTickMs = 100;
// A worker stops at its next frame boundary: within one 10 ms port read, or after the block
// frame being written (about 0.4 s at 115200 baud). Only a write held up by the line itself
// takes longer; such a worker is killed.
constexpr auto kStopGrace = std::chrono::seconds(5);

// The write end of the pipe that wakes the parent's poll on a signal; -1 in a worker.
volatile std::sig_atomic_t wakeFd = -1;

void OnStopSignal(int) {
    stopRequested = 1;
    const int fd = wakeFd;
    if (fd >= 0) {
        const int saved = errno;
        const char byte = 's';
        [[maybe_unused]] const auto n = write(fd, &byte, 1);
        errno = saved;
    }
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the parent is gone; the worker's stop comes with its death signal
        done += static_cast<std::size_t>(n);
    }
}

struct Worker {
    pid_t pid = -1;
    int fd = -1; // read end of its pipe; -1 once at end of file
    std::string partial;
    bool reaped = false;
    bool reported = false;
};

[[noreturn]] void WorkerMain(const PortTarget& port, const std::string& image, int out,
                             pid_t parent) {
    wakeFd = -1;
    std::signal(SIGPIPE, SIG_IGN);
#ifdef __linux__
    // A parent that dies (even by SIGKILL) stops its workers the way Ctrl+C does.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    if (getppid() != parent)
        stopRequested = 1;
    RunWorker(port, image,
              [out](const WorkerEvent& event) { WriteAll(out, EncodeEvent(event) + "\n"); });
    _exit(0);
}

// Hands each complete line the worker sent to the callback; false at end of file.
bool Drain(Worker& worker, std::size_t index, const WorkerCallbacks& callbacks) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(worker.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0)
            return false;
        worker.partial.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t nl; (nl = worker.partial.find('\n', start)) != std::string::npos;
             start = nl + 1) {
            if (auto event = DecodeEvent(worker.partial.substr(start, nl - start)))
                callbacks.event(index, *event);
        }
        worker.partial.erase(0, start);
    }
}

} // namespace

std::optional<int> RunWorkerCommand(int, char**) {
    return std::nullopt;
}

void RunWorkers(const std::vector<PortTarget>& ports, const std::string& image,
                const WorkerCallbacks& callbacks) {
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("brisko-k71-flash: pipe");
        return;
    }
    wakeFd = wake[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    const pid_t parent = getpid();
    std::vector<Worker> workers(ports.size());
    std::fflush(nullptr); // nothing buffered is written twice by a worker
    for (std::size_t i = 0; i < ports.size(); ++i) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            std::perror("brisko-k71-flash: pipe");
            break;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            close(wake[0]);
            close(wake[1]);
            close(fds[0]);
            for (std::size_t j = 0; j < i; ++j) {
                if (workers[j].fd >= 0)
                    close(workers[j].fd);
            }
            WorkerMain(ports[i], image, fds[1], parent);
        }
        close(fds[1]);
        if (pid < 0) {
            std::perror("brisko-k71-flash: fork");
            close(fds[0]);
            continue; // reported as a worker that ended without a result
        }
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        workers[i].pid = pid;
        workers[i].fd = fds[0];
    }
    for (std::size_t i = 0; i < workers.size(); ++i) {
        if (workers[i].pid < 0) {
            workers[i].reaped = workers[i].reported = true;
            callbacks.ended(i);
        }
    }

    bool stopping = false;
    std::chrono::steady_clock::time_point stopAt{};
    bool killed = false;
    for (;;) {
        std::vector<pollfd> fds{{wake[0], POLLIN, 0}};
        std::vector<std::size_t> owners{0};
        for (std::size_t i = 0; i < workers.size(); ++i) {
            if (workers[i].fd >= 0) {
                fds.push_back({workers[i].fd, POLLIN, 0});
                owners.push_back(i);
            }
        }
        poll(fds.data(), fds.size(), kTickMs);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(wake[0], drain, sizeof drain) > 0) {
            }
        }
        for (std::size_t k = 1; k < fds.size(); ++k) {
            Worker& worker = workers[owners[k]];
            if (fds[k].revents != 0 && !Drain(worker, owners[k], callbacks)) {
                close(worker.fd);
                worker.fd = -1;
            }
        }

        bool running = false;
        for (std::size_t i = 0; i < workers.size(); ++i) {
            Worker& worker = workers[i];
            if (!worker.reaped) {
                int status = 0;
                const pid_t done = waitpid(worker.pid, &status, WNOHANG);
                worker.reaped = done == worker.pid || (done < 0 && errno == ECHILD);
            }
            // Its last events come before its end: wait for the end of file as well.
            if (worker.reaped && worker.fd < 0 && !worker.reported) {
                worker.reported = true;
                callbacks.ended(i);
            }
            running = running || !worker.reported;
        }
        if (!running)
            break;

        if (stopRequested && !stopping) {
            stopping = true;
            stopAt = std::chrono::steady_clock::now();
            for (const Worker& worker : workers) {
                if (!worker.reaped)
                    kill(worker.pid, SIGTERM);
            }
            callbacks.stopping();
        }
        if (stopping && !killed && std::chrono::steady_clock::now() - stopAt > kStopGrace) {
            killed = true;
            for (const Worker& worker : workers) {
                if (!worker.reaped)
                    kill(worker.pid, SIGKILL);
            }
        }
        callbacks.tick();
    }

    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    wakeFd = -1;
    close(wake[0]);
    close(wake[1]);
}
