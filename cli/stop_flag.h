// The request to stop every upload, set from the handler of SIGINT and SIGTERM.
#pragma once

#include <csignal>

// Non-zero once a stop was requested. Written only by the signal handler (and tests).
extern volatile std::sig_atomic_t stopRequested;

// Thrown out of a port operation once a stop was requested, so that the upload unwinds between
// two frames: its image file closes on the way, and the worker closes the port.
struct StopUpload {};
