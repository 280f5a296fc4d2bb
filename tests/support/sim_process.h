// Runs the receiver simulator as a child process and reads its account line by line.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Path of the brisko-k71-sim executable of this build.
std::string SimulatorPath();

class SimProcess {
public:
    // Starts the simulator with --ports-dir portsDir --port port and extraArgs, and waits up
    // to 10 s for its READY line. Throws std::runtime_error when it does not come.
    SimProcess(std::string portsDir, std::string port, std::vector<std::string> extraArgs);
    ~SimProcess(); // stops the simulator if it still runs

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The first line starting with prefix that no earlier call has returned, waiting up to
    // timeoutMs for it; "" when it does not come in time or the simulator has ended.
    std::string WaitForLine(const std::string& prefix, int timeoutMs);

    // Sends SIGTERM, waits for the simulator to end and returns every line it printed.
    std::vector<std::string> Stop();

    // The lines printed so far (without waiting).
    std::vector<std::string> Lines();

    // The exit status once the simulator has ended (128 + signal when killed), else -1.
    int ExitCode();

    const std::string& LinkPath() const { return linkPath_; }
    const std::string& SlavePath() const { return slavePath_; }

private:
    // Reads what the pipe holds, waiting up to timeoutMs for something; false at end of file.
    bool Pump(int timeoutMs);
    void Reap(bool wait);

    pid_t pid_ = -1;
    int out_ = -1;
    bool eof_ = false;
    bool reaped_ = false;
    int exitCode_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    std::vector<bool> consumed_;
    std::string linkPath_;
    std::string slavePath_;
};
