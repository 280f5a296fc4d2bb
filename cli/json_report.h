// The result of one port as one line of JSON (--json).
#pragma once

#include "port_run.h"

#include <string>

//  {"port", "device", "image", "image_bytes", "result" (done, communication-error, no-answer,
//   port-error, bad-image, interrupted, lost), "exit_status", "message", "unfinished",
//   "wake_attempts", "blocks_acknowledged", "blocks_total", "seconds", "line_seconds",
//   "bytes_out", "bytes_in", "log" (the status log's lines), "errors" (the error boxes)}
std::string PortJson(const PortRun& run, const std::string& image, FlashClock::time_point now);
