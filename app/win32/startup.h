// The frame of a run: start-up and the message loop, with whatever escapes them shown by the
// standard exception display.
#pragma once

#include <functional>

// Runs steps. An exception that escapes them is shown, and the run ends all the same. Returns
// the program's exit code, which is 0 on every path.
int RunGuarded(const std::function<void()>& steps);

// Start-up and the message loop of the program: the main window, the set-up dialog, then the
// loop until the main window closes.
int RunProgram();
