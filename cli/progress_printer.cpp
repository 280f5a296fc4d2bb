#include "progress_printer.h"

#include "progress_line.h"
#include "upload_image.h"

#include <algorithm>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

bool IsBlockLine(const std::string& text) {
    return text.rfind("Block ", 0) == 0;
}

} // namespace

ProgressPrinter::ProgressPrinter(Mode mode, const std::vector<PortRun>& runs, int columns)
    : mode_(mode), runs_(runs), width_(static_cast<std::size_t>(std::max(columns - 1, 20))) {
    for (const PortRun& run : runs_)
        nameWidth_ = std::max(nameWidth_, run.Target().name.size());
    if (mode_ == Mode::Live)
        Redraw(true);
}

std::string ProgressPrinter::Prefix(std::size_t index) const {
    return runs_.size() > 1 ? runs_[index].Target().name + ": " : std::string();
}

void ProgressPrinter::Message(const std::string& text, std::FILE* stream) {
    if (mode_ == Mode::Live) {
        // Up over the live lines, the message in their place, then the lines again below it.
        for (std::size_t i = 0; i < drawn_; ++i)
            std::fputs("\x1b[1A\r\x1b[2K", stdout);
        drawn_ = 0;
        std::fflush(stdout);
    }
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    if (mode_ == Mode::Live)
        Redraw(true);
}

void ProgressPrinter::Event(std::size_t index, const WorkerEvent& event) {
    switch (mode_) {
    case Mode::Silent:
    case Mode::Quiet:
        return;
    case Mode::Plain:
        if (event.kind == WorkerEvent::Kind::Line)
            Message(Prefix(index) + event.text);
        else if (event.kind == WorkerEvent::Kind::Box)
            Message(Prefix(index) + event.text, stderr);
        else if (event.kind == WorkerEvent::Kind::Wake && event.wakeAttempt > 1)
            Message(Prefix(index) + "waiting for the receiver to be switched on: wake-up attempt " +
                    std::to_string(event.wakeAttempt) + " of " + std::to_string(kWakeAttempts));
        return;
    case Mode::Live:
        // The blocks show in the live line; every other log line and each box scrolls above.
        if (event.kind == WorkerEvent::Kind::Line && !IsBlockLine(event.text))
            Message(Prefix(index) + event.text);
        else if (event.kind == WorkerEvent::Kind::Box)
            Message(Prefix(index) + event.text, stderr);
        else
            Redraw(false);
        return;
    }
}

void ProgressPrinter::Ended(std::size_t index) {
    const PortRun& run = runs_[index];
    switch (mode_) {
    case Mode::Silent:
        return;
    case Mode::Quiet:
        Message(Prefix(index) + run.ResultText());
        return;
    case Mode::Plain:
        // The log already ends with the result, except where the run was cut short.
        if (run.Result() == Outcome::Interrupted || run.Result() == Outcome::Lost)
            Message(Prefix(index) + run.ResultText());
        return;
    case Mode::Live:
        if (run.Result() == Outcome::Interrupted || run.Result() == Outcome::Lost)
            Message(Prefix(index) + run.ResultText());
        else
            Redraw(true);
        return;
    }
}

void ProgressPrinter::Stopping() {
    if (mode_ != Mode::Silent)
        Message("Stopping: no frame goes out from now on; closing the ports", stderr);
}

void ProgressPrinter::Tick() {
    if (mode_ == Mode::Live)
        Redraw(false);
}

void ProgressPrinter::Close() {
    if (mode_ == Mode::Live)
        Redraw(true);
    drawn_ = 0;
}

void ProgressPrinter::Redraw(bool force) {
    const auto now = FlashClock::now();
    if (!force && now - lastDraw_ < kRedrawInterval)
        return;
    lastDraw_ = now;
    std::string screen;
    for (std::size_t i = 0; i < drawn_; ++i)
        screen += "\x1b[1A";
    for (const PortRun& run : runs_)
        screen += "\r\x1b[2K" + ProgressLine(run, now, nameWidth_, width_) + "\n";
    drawn_ = runs_.size();
    std::fputs(screen.c_str(), stdout);
    std::fflush(stdout);
}
