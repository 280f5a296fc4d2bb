#include "flash_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::string FlashPath() {
    return BRISKO_FLASH_PATH;
}

FlashProcess::FlashProcess(std::vector<std::string> args, const Setup& setup) {
    args.insert(args.begin(), FlashPath());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = setup.env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& mine : setup.env)
            replaced = replaced || mine.rfind(name, 0) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int out[2];
    int err[2];
    if (setup.terminal) {
        // The master end reads what the program writes to its terminal.
        if (openpty(&out[0], &out[1], nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
        fcntl(out[0], F_SETFD, FD_CLOEXEC);
        fcntl(out[1], F_SETFD, FD_CLOEXEC);
    } else if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
    if (pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    if (error != 0)
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
}

FlashProcess::~FlashProcess() {
    if (status_ < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        Wait(10'000);
    }
    if (outFd_ >= 0)
        close(outFd_);
    if (errFd_ >= 0)
        close(errFd_);
}

bool FlashProcess::Pump(int timeoutMs) {
    std::vector<pollfd> fds;
    if (outFd_ >= 0)
        fds.push_back({outFd_, POLLIN, 0});
    if (errFd_ >= 0)
        fds.push_back({errFd_, POLLIN, 0});
    if (fds.empty())
        return false;
    if (poll(fds.data(), fds.size(), timeoutMs) <= 0)
        return true;
    for (const pollfd& p : fds) {
        if (p.revents == 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(p.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        std::string& text = p.fd == outFd_ ? out_ : err_;
        // A terminal's master end reports EIO, not end of file, once the program has gone.
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        close(p.fd);
        (p.fd == outFd_ ? outFd_ : errFd_) = -1;
    }
    return true;
}

int FlashProcess::Wait(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool killed = false;
    while (status_ < 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 && !killed) {
            kill(pid_, SIGKILL);
            killed = true;
        }
        const bool open = Pump(left > 0 ? static_cast<int>(std::min<long long>(left, 100)) : 100);
        int status = 0;
        const pid_t done = waitpid(pid_, &status, open ? WNOHANG : 0);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            // What it wrote last; a worker it left behind must not hold the test up.
            for (int i = 0; i < 50 && (outFd_ >= 0 || errFd_ >= 0); ++i)
                Pump(100);
        }
    }
    return status_;
}

void FlashProcess::Signal(int signal) {
    kill(pid_, signal);
}

std::vector<std::string> FlashProcess::OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

FlashResult RunFlash(const std::vector<std::string>& args, int timeoutMs,
                     const FlashProcess::Setup& setup) {
    FlashProcess flash(args, setup);
    const int status = flash.Wait(timeoutMs);
    return {status, flash.Out(), flash.Err(), flash.OutLines()};
}
