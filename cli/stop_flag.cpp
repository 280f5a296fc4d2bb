#include "stop_flag.h"

volatile std::sig_atomic_t stopRequested = 0;
