// Waiting until the bytes handed to a port have left it.
#pragma once

#include "platform.h"

// Returns once the port's output queue is empty or limitMs have passed. Closing a port purges
// its queues: a frame whose write has returned must still reach the line whole.
void WaitForOutputSent(HANDLE port, int limitMs);
