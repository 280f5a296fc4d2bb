// The program's message loops: the main one, the processing of pending messages inside an
// upload, and the loop of a modal window. Keyboard messages for a form go through the system's
// dialog navigation first, which gives Tab, Return on a focused button and the arrow keys in a
// radio group.
#pragma once

#include <windows.h>

#include <functional>

namespace Application {

// Translates and dispatches one message.
void Dispatch(MSG& message);

// Dispatches messages until the main window has been closed (WM_QUIT).
void Run();

// Dispatches every message waiting in the thread's queue, then returns. A WM_QUIT found there
// is put back for the main loop.
void ProcessMessages();

// Dispatches messages while running() is true. A WM_QUIT ends it early and is put back.
void RunModal(const std::function<bool()>& running);

} // namespace Application
