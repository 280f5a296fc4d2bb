// Command line of the simulator.
#pragma once

#include "fault.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class InfoBytes { All, Part, None };

struct Options {
    std::string portsDir;
    std::string port = "COM3";
    std::string outPath;
    int exitAfter = 0; // completed dialogues before exiting; 0 = until a signal
    bool silent = false;
    int answerWake = 1; // the K-th wake-up frame of a dialogue is answered
    std::vector<Fault> faults;
    int faultDialogues = 0; // faults act in the first N dialogues; 0 = in every one
    std::uint16_t infoLength = 16;
    InfoBytes infoBytes = InfoBytes::All;
    bool pace = false;
    int replyDelayMs = 0;
    std::uint64_t seed = 1;
    bool dieWithParent = false; // stop when the process that started it ends
};

// Parses argv. Returns nothing when the program should end: after --help or --version
// (exitCode 0) or on a bad command line (message on stderr, exitCode 2).
std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode);

// ${XDG_CONFIG_HOME:-$HOME/.config}/brisko-k71/ports, as the tool looks it up.
std::string DefaultPortsDir();

} // namespace sim
