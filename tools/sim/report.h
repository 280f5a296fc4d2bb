// The simulator's account of the dialogue: one line per event on standard output.
#pragma once

#include <string>

namespace sim {

// Prints one line and flushes it, so that a reader on a pipe sees it at once.
void Emit(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf into a string, for lines printed later.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace sim
