#include "sim_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kReadyTimeoutMs = 10'000;
constexpr int kStopTimeoutMs = 10'000; // then SIGKILL

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

std::string SimulatorPath() {
    return BRISKO_SIM_PATH;
}

SimProcess::SimProcess(std::string portsDir, std::string port, std::vector<std::string> extraArgs) {
    std::vector<std::string> args{SimulatorPath(), "--die-with-parent",
                                  "--ports-dir",   std::move(portsDir),
                                  "--port",        std::move(port)};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    out_ = pipeFds[0];
    if (error != 0) {
        close(out_);
        out_ = -1;
        pid_ = -1;
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
    }

    const std::string ready = WaitForLine("READY ", kReadyTimeoutMs);
    if (ready.empty()) {
        std::string printed;
        for (const std::string& line : Stop())
            printed += "\n  " + line;
        close(out_);
        out_ = -1;
        throw std::runtime_error("the simulator did not become ready (exit status " +
                                 std::to_string(ExitCode()) + ")" + printed);
    }
    const auto space = ready.find(' ', 6);
    linkPath_ = ready.substr(6, space - 6);
    if (space != std::string::npos)
        slavePath_ = ready.substr(space + 1);
}

SimProcess::~SimProcess() {
    try {
        Stop();
    } catch (...) {
    }
    if (out_ >= 0)
        close(out_);
}

bool SimProcess::Pump(int timeoutMs) {
    if (eof_)
        return false;
    pollfd fd{out_, POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready < 0 && errno != EINTR)
        throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    if (ready <= 0)
        return true;
    char buffer[4096];
    const ssize_t count = read(out_, buffer, sizeof buffer);
    if (count < 0)
        return errno == EINTR || errno == EAGAIN;
    if (count == 0) {
        eof_ = true;
        return false;
    }
    partial_.append(buffer, static_cast<std::size_t>(count));
    for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
        lines_.push_back(partial_.substr(0, end));
        consumed_.push_back(false);
        partial_.erase(0, end + 1);
    }
    return true;
}

std::string SimProcess::WaitForLine(const std::string& prefix, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t checked = 0;
    for (;;) {
        for (; checked < lines_.size(); ++checked) {
            if (!consumed_[checked] && lines_[checked].compare(0, prefix.size(), prefix) == 0) {
                consumed_[checked] = true;
                return lines_[checked];
            }
        }
        const int left = RemainingMs(deadline);
        if (left == 0 || !Pump(left))
            break;
    }
    // Lines that came with the end of the output.
    for (; checked < lines_.size(); ++checked) {
        if (!consumed_[checked] && lines_[checked].compare(0, prefix.size(), prefix) == 0) {
            consumed_[checked] = true;
            return lines_[checked];
        }
    }
    return {};
}

std::vector<std::string> SimProcess::Lines() {
    for (pollfd fd{out_, POLLIN, 0}; !eof_ && poll(&fd, 1, 0) > 0;)
        Pump(0);
    return lines_;
}

std::vector<std::string> SimProcess::Stop() {
    if (pid_ > 0 && !reaped_)
        kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStopTimeoutMs);
    while (!eof_) {
        const int left = RemainingMs(deadline);
        if (left == 0) {
            if (pid_ > 0 && !reaped_)
                kill(pid_, SIGKILL);
            break;
        }
        Pump(left);
    }
    Reap(true);
    if (!partial_.empty()) {
        lines_.push_back(partial_);
        consumed_.push_back(false);
        partial_.clear();
    }
    return lines_;
}

void SimProcess::Reap(bool wait) {
    if (pid_ <= 0 || reaped_)
        return;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, wait ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result != pid_)
        return;
    reaped_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int SimProcess::ExitCode() {
    Reap(false);
    return exitCode_;
}
