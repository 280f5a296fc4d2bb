// The command line of brisko-k71-flash.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct FlashOptions {
    std::vector<std::string> ports; // in the order given; COM3 when none is given
    bool listPorts = false;
    bool json = false;
    bool quiet = false;
    std::string image;
};

// Reads the command line into options. Returns the exit status to end with at once (0 after
// --help or --version, the usage error's status after a message on standard error), or nothing
// to go on.
std::optional<int> ParseOptions(int argc, char** argv, FlashOptions& options);
