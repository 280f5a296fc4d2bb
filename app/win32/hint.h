// The window's hint: a tooltip shown over the window's empty area and over each control.
#pragma once

#include <windows.h>

// Shows text as the tooltip of window and of every control in it.
void ShowHint(HWND window, const char* text);
