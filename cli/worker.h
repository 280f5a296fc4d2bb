// One upload on one port, in a process of its own: the program's one Serial object is this
// process's, as in the desktop program.
#pragma once

#include "events.h"
#include "port_target.h"

#include <functional>
#include <string>

// Runs UploadImage on the port with the image, reporting every line, box, wake-up attempt and
// the end through send. A stop request (stopRequested) ends it between two frames; the port is
// closed on every path. The process's port table is wrapped for the run and not restored: a
// worker runs one upload and ends.
void RunWorker(const PortTarget& port, const std::string& image,
               const std::function<void(const WorkerEvent&)>& send);
