// What the program's standard output is connected to.
#pragma once

// True when standard output is a terminal that can redraw a line in place (TERM is set and not
// "dumb").
bool StdoutIsLiveTerminal();
// Columns of the terminal on standard output; 80 when unknown.
int TerminalColumns();
