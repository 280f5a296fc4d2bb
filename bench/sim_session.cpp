// brisko-bench-session: runs a command against the simulated receiver on COM3 of a private port
// mapping, with a fresh image, and reports the receiver's verdict.
//
// Usage: brisko-bench-session --size N [--expect-ok] [--sim OPTION]... -- COMMAND [ARG]...
//
// Writes an image of N pseudo-random bytes, starts brisko-k71-sim (with each --sim OPTION) on a
// pseudo-terminal linked as COM3, runs COMMAND with the image's path as its last argument and
// XDG_CONFIG_HOME pointing at the mapping, and keeps reading the simulator's account meanwhile so
// it never waits on its own output. Then stops the simulator and prints its VERDICT lines.
// With --expect-ok the receiver must have judged one dialogue OK and hold the image byte for
// byte. Exit status: the command's when it failed, else 1 when the receiver disagrees, else 0.
#include "sim_process.h"
#include "temp_file.h"
#include "temp_ports.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kPumpMs = 50; // longest wait between looks at the command

struct Arguments {
    std::size_t size = 0;
    bool sizeGiven = false;
    bool expectOk = false;
    std::vector<std::string> simOptions;
    std::vector<std::string> command;
};

bool Parse(int argc, char** argv, Arguments& args) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--size" && i + 1 < argc) {
            char* end = nullptr;
            args.size = std::strtoull(argv[++i], &end, 10);
            args.sizeGiven = end != nullptr && *end == '\0';
        } else if (arg == "--expect-ok") {
            args.expectOk = true;
        } else if (arg == "--sim" && i + 1 < argc) {
            args.simOptions.emplace_back(argv[++i]);
        } else {
            return false;
        }
    }
    for (; i < argc; ++i)
        args.command.emplace_back(argv[i]);
    return args.sizeGiven && !args.command.empty();
}

pid_t Spawn(std::vector<std::string> command) {
    std::vector<char*> argv;
    for (std::string& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(error));
        return -1;
    }
    return pid;
}

// Waits for the command to end while draining the simulator's output; its exit status.
int WaitDraining(pid_t pid, SimProcess& sim) {
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR)
            return 127;
        // Reads the account as it comes (Stop() still returns every line of it).
        if (sim.ExitCode() >= 0)
            usleep(kPumpMs * 1000);
        else
            sim.WaitForLine("VERDICT", kPumpMs);
    }
}

// WriteImageFile holds the whole image in memory; it runs in a child of its own so that the peak
// memory of this process stays the same for every size: a command spawned from here starts with
// that peak in its own ru_maxrss.
void WriteImageApart(const std::string& path, std::size_t size) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        int status = 0;
        try {
            WriteImageFile(path, size, static_cast<unsigned>(size));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "brisko-bench-session: %s\n", e.what());
            status = 1;
        }
        _exit(status);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("cannot write the image " + path);
}

bool Starts(const std::string& line, const char* prefix) {
    return line.rfind(prefix, 0) == 0;
}

int Run(const Arguments& args) {
    TempPortsDir ports; // sets XDG_CONFIG_HOME for this process and the command
    const std::string image = ports.Root() + "/image.bin";
    const std::string received = ports.Root() + "/received.bin";
    WriteImageApart(image, args.size);

    std::vector<std::string> simOptions = args.simOptions;
    simOptions.insert(simOptions.end(), {"--out", received});
    SimProcess sim(ports.PortsDir(), "COM3", simOptions);

    std::vector<std::string> command = args.command;
    command.push_back(image);
    const pid_t pid = Spawn(command);
    const int status = pid > 0 ? WaitDraining(pid, sim) : 127;

    int verdicts = 0;
    int ok = 0;
    for (const std::string& line : sim.Stop()) {
        if (Starts(line, "VERDICT") || Starts(line, "VIOLATION")) {
            std::printf("receiver: %s\n", line.c_str());
            ++verdicts;
            ok += Starts(line, "VERDICT OK") ? 1 : 0;
        }
    }
    if (verdicts == 0)
        std::printf("receiver: no verdict\n");
    if (status != 0)
        return status;
    if (!args.expectOk)
        return 0;

    std::vector<std::uint8_t> expected = ReadWholeFile(image);
    if (expected.size() < 4080)
        expected.resize(4080, 0xFF); // the first block frame always carries 4080 data bytes
    const bool same =
        ok == 1 && access(received.c_str(), R_OK) == 0 && ReadWholeFile(received) == expected;
    std::printf("receiver: %s\n", same ? "holds the image byte for byte" : "DISAGREES");
    return same ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!Parse(argc, argv, args)) {
        std::fprintf(stderr,
                     "usage: %s --size N [--expect-ok] [--sim OPTION]... -- COMMAND [ARG]...\n",
                     argv[0]);
        return 2;
    }
    std::fflush(stdout);
    try {
        return Run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brisko-bench-session: %s\n", e.what());
        return 2;
    }
}
