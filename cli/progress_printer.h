// What the program shows on standard output while the ports run.
#pragma once

#include "port_run.h"

#include <cstdio>
#include <vector>

class ProgressPrinter {
public:
    enum class Mode {
        Live,  // a terminal: messages scroll, one line per port is redrawn in place
        Plain, // every log line, prefixed with the port when there are several
        Quiet, // the result line of each port, nothing else
        Silent // nothing (--json prints the result at the end)
    };
    ProgressPrinter(Mode mode, const std::vector<PortRun>& runs, int columns);

    // After run index took an event.
    void Event(std::size_t index, const WorkerEvent& event);
    // After run index ended.
    void Ended(std::size_t index);
    // A stop was requested.
    void Stopping();
    // About ten times a second: keeps the live lines' rates and times current.
    void Tick();
    // Before anything else goes to the screen: the live lines stay as they are, below.
    void Close();

private:
    std::string Prefix(std::size_t index) const;
    void Message(const std::string& text, std::FILE* stream = stdout);
    void Redraw(bool force);

    Mode mode_;
    const std::vector<PortRun>& runs_;
    std::size_t width_;
    std::size_t nameWidth_ = 0;
    std::size_t drawn_ = 0; // live lines on the screen below the messages
    FlashClock::time_point lastDraw_{};
};
