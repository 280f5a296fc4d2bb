// brisko-bench-tapped: one upload by a program that is not linked with the meter (the desktop
// program as people run it), started by a driver that acts as its user, and what it cost.
//
// Usage: brisko-bench-tapped --tap LIBRARY [--quiet-ms N] [--limit-s N]
//            PROGRAM [ARG]... -- DRIVER [ARG]... IMAGE
//
// Makes a working directory in which rom_S.bin is IMAGE (the name that the open dialog
// proposes), starts PROGRAM there with LIBRARY (brisko-bench-line-tap) preloaded, then runs
// DRIVER, which presses "Upgrade Software" and accepts the dialog. Once the program has written
// to its port and the line has then been quiet for N ms (default 3000; a paced upload never
// pauses that long), the upload counts as ended: the program is stopped (SIGTERM) and the
// figures of brisko-bench-upload are printed, with these differences: wall_s ends at the end
// of the last read that received bytes (the end frame's reply; "Done." is added right after),
// and the processor time and peak memory are the whole program's, start-up included. The
// outcome is "line-quiet": the log is not read, the receiver's verdict tells how it went.
// Exit status 0 when the program wrote to the port and the line fell quiet, 1 otherwise, 2 on
// bad usage.
#include "line_tap.h"
#include "run_report.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kPollMs = 50;

struct Arguments {
    std::string tap;
    long quietMs = 3000;
    long limitS = 900;
    std::vector<std::string> program;
    std::vector<std::string> driver;
    std::string image;
};

bool Parse(int argc, char** argv, Arguments& args) {
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
        const std::string option = argv[i];
        if (option == "--tap")
            args.tap = argv[i + 1];
        else if (option == "--quiet-ms")
            args.quietMs = std::strtol(argv[i + 1], nullptr, 10);
        else if (option == "--limit-s")
            args.limitS = std::strtol(argv[i + 1], nullptr, 10);
        else
            return false;
    }
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        args.program.emplace_back(argv[i]);
    for (++i; i < argc; ++i)
        args.driver.emplace_back(argv[i]);
    if (args.driver.size() < 2 || args.program.empty() || args.tap.empty())
        return false;
    args.image = args.driver.back();
    args.driver.pop_back();
    return args.quietMs > 0 && args.limitS > 0;
}

std::int64_t NowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Starts command in directory (empty: the current one) with the environment plus extra.
pid_t Spawn(std::vector<std::string> command, const std::string& directory,
            const std::vector<std::string>& extra) {
    std::vector<std::string> envText(extra);
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& x : extra)
            replaced = replaced || entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
        if (!replaced)
            envText.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "brisko-bench-tapped: cannot start %s: %s\n", argv[0],
                     std::strerror(error));
        return -1;
    }
    return pid;
}

// The exit status of pid, waiting for it; its resource use in usage.
int Reap(pid_t pid, rusage* usage) {
    int status = 0;
    while (wait4(pid, &status, 0, usage) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Absolute(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string result = real;
    std::free(real);
    return result;
}

int Run(const Arguments& args) {
    char dirTemplate[] = "/tmp/brisko-bench-tapped-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) {
        std::perror("brisko-bench-tapped: mkdtemp");
        return 2;
    }
    const std::string dir = dirTemplate;
    const std::string proposed = dir + "/rom_S.bin";
    const std::string tapFile = dir + "/line-tap.bin";
    if (symlink(Absolute(args.image).c_str(), proposed.c_str()) != 0) {
        std::perror("brisko-bench-tapped: symlink");
        return 2;
    }
    const int fd = open(tapFile.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ftruncate(fd, sizeof(LineTapRecord)) != 0) {
        std::perror("brisko-bench-tapped: tap file");
        return 2;
    }
    void* map = mmap(nullptr, sizeof(LineTapRecord), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        std::perror("brisko-bench-tapped: mmap");
        return 2;
    }
    const volatile LineTapRecord& tap = *static_cast<const LineTapRecord*>(map);

    std::string preload = Absolute(args.tap);
    if (const char* existing = std::getenv("LD_PRELOAD"); existing != nullptr && *existing)
        preload += std::string(":") + existing;
    std::vector<std::string> programCommand = args.program;
    if (programCommand[0].find('/') != std::string::npos)
        programCommand[0] = Absolute(programCommand[0]); // it starts in dir
    const pid_t program =
        Spawn(programCommand, dir,
              {"LD_PRELOAD=" + preload, std::string(kLineTapFileVariable) + "=" + tapFile});
    if (program < 0)
        return 2;

    rusage usage{};
    int status = -1; // the program's, once it has ended
    const pid_t driver = Spawn(args.driver, {}, {});
    const int driverStatus = driver > 0 ? Reap(driver, nullptr) : 127;
    bool quiet = false;
    if (driverStatus != 0) {
        std::fprintf(stderr, "brisko-bench-tapped: the driver failed (%d)\n", driverStatus);
    } else {
        const std::int64_t deadline = NowNs() + args.limitS * 1'000'000'000LL;
        const std::int64_t quietNs = args.quietMs * 1'000'000LL;
        while (NowNs() < deadline) {
            if (waitpid(program, &status, WNOHANG) == program) {
                std::fprintf(stderr, "brisko-bench-tapped: the program ended by itself\n");
                break;
            }
            status = -1;
            if (tap.firstWriteNs != 0 && NowNs() - tap.lastActivityNs >= quietNs) {
                quiet = true;
                break;
            }
            usleep(kPollMs * 1000);
        }
    }
    if (status < 0) {
        kill(program, SIGTERM);
        Reap(program, &usage);
    }

    UploadFigures figures;
    figures.outcome = quiet ? "line-quiet" : "unfinished";
    figures.wallSeconds = 1e-9 * static_cast<double>(tap.lastReceiptNs - tap.firstWriteNs);
    figures.bytesWritten = tap.bytesWritten;
    figures.bytesReceived = tap.bytesReceived;
    figures.writeCalls = tap.writeCalls;
    figures.readCalls = tap.readCalls;
    figures.userSeconds = TimevalSeconds(usage.ru_utime);
    figures.systemSeconds = TimevalSeconds(usage.ru_stime);
    figures.maxRssKib = static_cast<unsigned long long>(usage.ru_maxrss);
    const std::uint32_t kept =
        tap.turnarounds < kLineTapMaxTurnarounds ? tap.turnarounds : kLineTapMaxTurnarounds;
    for (std::uint32_t i = 0; i < kept; ++i)
        figures.turnaroundSeconds.push_back(1e-9 * static_cast<double>(tap.turnaroundNs[i]));
    PrintUploadFigures(figures);

    munmap(map, sizeof(LineTapRecord));
    unlink(tapFile.c_str());
    unlink(proposed.c_str());
    rmdir(dir.c_str());
    return quiet ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!Parse(argc, argv, args)) {
        std::fprintf(stderr,
                     "usage: %s --tap LIBRARY [--quiet-ms N] [--limit-s N] PROGRAM [ARG]... -- "
                     "DRIVER [ARG]... IMAGE\n",
                     argv[0]);
        return 2;
    }
    std::fflush(stdout);
    return Run(args);
}
