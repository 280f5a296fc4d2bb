// How one port's upload ended, and the exit status that each ending gives the program.
#pragma once

#include <string>
#include <vector>

enum class Outcome {
    Done,               // "Done."
    CommunicationError, // a step after the wake-up was not answered as expected
    NoAnswer,           // the receiver did not answer the wake-up ("Communication Error")
    PortError,          // the port could not be opened ("Port Error.")
    BadImage,           // the image could not be opened or was too large
    Interrupted,        // stopped by SIGINT or SIGTERM before the end
    Lost,               // the worker ended without reporting a result
};

namespace exit_status {
inline constexpr int kDone = 0;
inline constexpr int kCommunicationError = 1;
inline constexpr int kUsage = 2;
inline constexpr int kBadImage = 3;
inline constexpr int kPortError = 4;
inline constexpr int kNoAnswer = 5;
inline constexpr int kLost = 6;
inline constexpr int kInterrupted = 130; // 128 + SIGINT, as shells report it
} // namespace exit_status

int ExitStatus(Outcome outcome);
// Short name for JSON and the summary ("done", "communication-error", ...).
const char* OutcomeName(Outcome outcome);
// The outcome of several ports: the one ranked worst (see WorstFirst), Done for none.
Outcome Worst(const std::vector<Outcome>& outcomes);
// The ranking, worst first: the receivers that may hold part of an image come before those that
// were never written to.
const std::vector<Outcome>& WorstFirst();

// The outcome of a run that ended by itself, from its last log line and its error boxes. A last
// line that is none of the known ones counts as a communication error.
Outcome ClassifyRun(const std::vector<std::string>& log, const std::vector<std::string>& boxes);

// The exit-status table as --help shows it.
std::string ExitStatusTable();
