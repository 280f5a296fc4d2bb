// What a worker tells the parent about its upload: one JSON object per line on its pipe.
//   {"e":"line","text":T}   a line of the status log
//   {"e":"box","text":T}    an error box (the port layer's, or "Port Error.")
//   {"e":"wake","n":N}      the N-th wake-up frame is about to go out
//   {"e":"end","stopped":B,"tx":N,"rx":N,"line_s":S}   the run is over; bytes written and
//                           received, seconds from the first write to the last log line
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct WorkerEvent {
    enum class Kind { Line, Box, Wake, End };
    Kind kind = Kind::Line;
    std::string text;     // Line, Box
    int wakeAttempt = 0;  // Wake
    bool stopped = false; // End
    std::uint64_t bytesOut = 0;
    std::uint64_t bytesIn = 0;
    double lineSeconds = 0;
};

// One line of the pipe, without its newline.
std::string EncodeEvent(const WorkerEvent& event);
// Nothing for a line that is no event (a worker never writes one; a broken pipe may cut one).
std::optional<WorkerEvent> DecodeEvent(const std::string& line);
