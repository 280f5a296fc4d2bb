// Runs the built brisko-k71-flash as a child process and collects what it prints.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

std::string FlashPath();

class FlashProcess {
public:
    struct Setup {
        bool terminal = false;        // standard output on a pseudo-terminal instead of a pipe
        std::vector<std::string> env; // "NAME=value" set on top of the inherited environment
    };
    // Starts brisko-k71-flash with args; it inherits the environment (XDG_CONFIG_HOME).
    explicit FlashProcess(std::vector<std::string> args) : FlashProcess(std::move(args), Setup{}) {}
    FlashProcess(std::vector<std::string> args, const Setup& setup);
    ~FlashProcess(); // kills it if it still runs
    FlashProcess(const FlashProcess&) = delete;
    FlashProcess& operator=(const FlashProcess&) = delete;

    // Waits up to timeoutMs for it to end, reading its output; kills it after that. Its exit
    // status (128 + signal when killed by one).
    int Wait(int timeoutMs = 60'000);
    void Signal(int signal);

    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }
    // Standard output as lines.
    std::vector<std::string> OutLines() const;

private:
    // Reads what is there, waiting up to timeoutMs; false once both streams ended.
    bool Pump(int timeoutMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    int status_ = -1;
};

// Runs it to its end.
struct FlashResult {
    int status;
    std::string out;
    std::string err;
    std::vector<std::string> lines;
};
FlashResult RunFlash(const std::vector<std::string>& args, int timeoutMs = 60'000,
                     const FlashProcess::Setup& setup = {});
