// brisko-k71-sim: the receiver's loader on a pseudo-terminal, for tests and demonstrations.
#include "options.h"
#include "pty_port.h"
#include "report.h"
#include "simulator.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int exitCode = 0;
    const auto options = sim::ParseOptions(argc, argv, exitCode);
    if (!options)
        return exitCode;

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);
    // Taken through a signalfd by the event loop, so that the link is removed and the verdict
    // printed however the simulator is stopped.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    sigprocmask(SIG_BLOCK, &stopping, nullptr);
    if (options->dieWithParent) {
        // A test that dies must not leave its receiver running and holding its output pipe.
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            return 0;
    }

    std::string error;
    auto port = sim::PtyPort::Open(options->portsDir, options->port, error);
    if (!port) {
        std::fprintf(stderr, "brisko-k71-sim: %s\n", error.c_str());
        return 2;
    }
    sim::Simulator simulator(*options, *port);
    sim::Emit("READY %s %s", port->LinkPath().c_str(), port->SlavePath().c_str());
    return simulator.Run();
}
