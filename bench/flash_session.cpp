// brisko-bench-flash: brisko-k71-flash against several simulated receivers at once, and what it
// cost.
//
// Usage: brisko-bench-flash --ports N --size BYTES [--pace] [--silent PORT]
//
// Writes an image of BYTES pseudo-random bytes, starts one brisko-k71-sim on each of COM1 to COMN
// of a private port mapping (paced like a 115200 baud line with --pace), runs
// `brisko-k71-flash --json -p COM1 ... -p COMN IMAGE` and checks that every receiver holds the
// image byte for byte; with --silent PORT that receiver never answers, and must end with
// "Communication Error" after the whole wake-up while the others finish. Prints one
// "bench.<name>=<value>" line per figure:
//   port.COMn.result        its last log line
//   port.COMn.wall_s        the port's time from its first write to its last log line
//   port.COMn.line_s        line time of the bytes both ways at 115200 baud, 10 bits a byte
//   port.COMn.line_ratio    wall_s / line_s
//   worst_line_ratio        the largest of them
//   run_wall_s              the whole run of the flasher, start to exit
//   cpu_user_s, cpu_sys_s, cpu_s   processor time of the flasher and its workers (wait4)
// Exit status 0 when every port ended "Done." with its image delivered (the silent one
// "Communication Error"), 1 otherwise.
#include "sim_process.h"
#include "temp_file.h"
#include "temp_ports.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double LineSeconds(std::uint64_t bytes) {
    return static_cast<double>(bytes) * 10.0 / 115200.0;
}

int Run(int ports, std::size_t size, bool pace, const std::string& silent) {
    TempPortsDir dir; // XDG_CONFIG_HOME for the flasher
    const std::string image = dir.Root() + "/image.bin";
    WriteImageFile(image, size, static_cast<unsigned>(size));

    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::string> args = {BRISKO_FLASH_PATH, "--json"};
    for (int n = 1; n <= ports; ++n) {
        const std::string port = "COM" + std::to_string(n);
        std::vector<std::string> options = {"--out", dir.Root() + "/received-" + port + ".bin"};
        if (pace)
            options.push_back("--pace");
        if (port == silent)
            options.push_back("--silent");
        sims.push_back(std::make_unique<SimProcess>(dir.PortsDir(), port, options));
        args.insert(args.end(), {"-p", port});
    }
    args.push_back(image);

    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (error != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(error));
        return 1;
    }

    // Reads the flasher's output and the receivers' accounts as they come, so nobody waits on a
    // full pipe; the accounts are kept by SimProcess.
    std::string json;
    for (bool open = true; open;) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n > 0)
                json.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                open = false;
        }
        for (auto& sim : sims)
            sim->Lines();
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const double runWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // 5: no answer to the wake-up, the status of a run whose one failure is the silent receiver.
    const int expected_status = silent.empty() ? 0 : 5;
    bool ok = WIFEXITED(status) && WEXITSTATUS(status) == expected_status;
    double worst = 0;
    std::size_t start_at = 0;
    for (std::size_t nl; (nl = json.find('\n', start_at)) != std::string::npos; start_at = nl + 1) {
        const auto j = nlohmann::json::parse(json.substr(start_at, nl - start_at));
        const std::string port = j.at("port");
        const double wall = j.at("line_seconds");
        const double line = LineSeconds(j.at("bytes_out").get<std::uint64_t>() +
                                        j.at("bytes_in").get<std::uint64_t>());
        const double ratio = line > 0 ? wall / line : 0;
        if (port == silent) {
            std::printf("bench.port.%s.result=%s\n", port.c_str(),
                        j.at("message").get<std::string>().c_str());
            std::printf("bench.port.%s.seconds=%.6f\n", port.c_str(),
                        j.at("seconds").get<double>());
            ok = ok && j.at("result") == "no-answer";
            continue;
        }
        worst = std::max(worst, ratio);
        std::printf("bench.port.%s.result=%s\n", port.c_str(),
                    j.at("message").get<std::string>().c_str());
        std::printf("bench.port.%s.wall_s=%.6f\n", port.c_str(), wall);
        std::printf("bench.port.%s.line_s=%.6f\n", port.c_str(), line);
        std::printf("bench.port.%s.line_ratio=%.6f\n", port.c_str(), ratio);
        ok = ok && j.at("result") == "done";
    }
    std::vector<std::uint8_t> expected = ReadWholeFile(image);
    if (expected.size() < 4080)
        expected.resize(4080, 0xFF);
    for (int n = 1; n <= ports; ++n) {
        sims[static_cast<std::size_t>(n - 1)]->Stop();
        if ("COM" + std::to_string(n) == silent)
            continue;
        const std::string received = dir.Root() + "/received-COM" + std::to_string(n) + ".bin";
        const bool same =
            access(received.c_str(), R_OK) == 0 && ReadWholeFile(received) == expected;
        if (!same)
            std::printf("bench.port.COM%d.received=DISAGREES\n", n);
        ok = ok && same;
    }
    std::printf("bench.worst_line_ratio=%.6f\n", worst);
    std::printf("bench.run_wall_s=%.6f\n", runWall);
    std::printf("bench.cpu_user_s=%.6f\n", Seconds(usage.ru_utime));
    std::printf("bench.cpu_sys_s=%.6f\n", Seconds(usage.ru_stime));
    std::printf("bench.cpu_s=%.6f\n", Seconds(usage.ru_utime) + Seconds(usage.ru_stime));
    std::printf("bench.outcome=%s\n", ok ? "Done." : "FAILED");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    int ports = 0;
    std::size_t size = 0;
    bool pace = false;
    bool sizeGiven = false;
    std::string silent;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ports" && i + 1 < argc) {
            ports = std::atoi(argv[++i]);
        } else if (arg == "--size" && i + 1 < argc) {
            size = std::strtoull(argv[++i], nullptr, 10);
            sizeGiven = true;
        } else if (arg == "--silent" && i + 1 < argc) {
            silent = argv[++i];
        } else if (arg == "--pace") {
            pace = true;
        } else {
            ports = 0;
            break;
        }
    }
    if (ports < 1 || ports > 4 || !sizeGiven) {
        std::fprintf(stderr, "usage: %s --ports 1..4 --size BYTES [--pace] [--silent PORT]\n",
                     argv[0]);
        return 2;
    }
    try {
        return Run(ports, size, pace, silent);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brisko-bench-flash: %s\n", e.what());
        return 1;
    }
}
