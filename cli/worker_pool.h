// One worker process per port, run side by side; the parent hears from each over a pipe.
#pragma once

#include "events.h"
#include "port_target.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct WorkerCallbacks {
    std::function<void(std::size_t index, const WorkerEvent& event)> event;
    // The worker process is gone; every event it sent came before.
    std::function<void(std::size_t index)> ended;
    // SIGINT or SIGTERM (Ctrl+C or Ctrl+Break on Windows) arrived: every worker has been told to
    // stop. Called once.
    std::function<void()> stopping;
    // About ten times a second while workers run.
    std::function<void()> tick;
};

// Where a worker is the program started again (Windows), the command line of that worker: runs
// it and returns its exit status. nullopt for every other command line, and always on POSIX
// systems, whose workers are forked.
std::optional<int> RunWorkerCommand(int argc, char** argv);

// Starts a worker for each port and returns once every one has ended. SIGINT and SIGTERM stop
// them all between frames (stopRequested is set); a worker that has not ended some seconds after
// is killed.
void RunWorkers(const std::vector<PortTarget>& ports, const std::string& image,
                const WorkerCallbacks& callbacks);
