// brisko K71: writes a software image into the receiver over a serial cable.

#include "startup.h"

int main(int argc, char* argv[]) {
    return RunProgram(argc, argv);
}
