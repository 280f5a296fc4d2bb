// A whole run of brisko-k71-flash over its ports: checks, workers, progress, results.
#pragma once

#include "options.h"

// Returns the program's exit status.
int Flash(const FlashOptions& options);
