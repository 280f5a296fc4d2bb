// brisko-k71-flash: the upload of the desktop program on the command line, to one receiver or
// several at once.
#include "flash_run.h"
#include "list_ports.h"
#include "options.h"
#include "worker_pool.h"

int main(int argc, char** argv) {
    if (auto status = RunWorkerCommand(argc, argv))
        return *status;
    FlashOptions options;
    if (auto status = ParseOptions(argc, argv, options))
        return *status;
    if (options.listPorts)
        return ListPorts(options.json);
    return Flash(options);
}
