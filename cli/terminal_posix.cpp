#include "terminal.h"

#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

bool StdoutIsLiveTerminal() {
    const char* term = std::getenv("TERM");
    return isatty(STDOUT_FILENO) == 1 && term != nullptr && term[0] != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
