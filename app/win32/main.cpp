// brisko K71: writes a software image into the receiver over a serial cable.

#include "startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunProgram();
}
