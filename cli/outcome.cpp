#include "outcome.h"

#include <algorithm>

int ExitStatus(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return exit_status::kDone;
    case Outcome::CommunicationError:
        return exit_status::kCommunicationError;
    case Outcome::NoAnswer:
        return exit_status::kNoAnswer;
    case Outcome::PortError:
        return exit_status::kPortError;
    case Outcome::BadImage:
        return exit_status::kBadImage;
    case Outcome::Interrupted:
        return exit_status::kInterrupted;
    case Outcome::Lost:
        return exit_status::kLost;
    }
    return exit_status::kLost;
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return "done";
    case Outcome::CommunicationError:
        return "communication-error";
    case Outcome::NoAnswer:
        return "no-answer";
    case Outcome::PortError:
        return "port-error";
    case Outcome::BadImage:
        return "bad-image";
    case Outcome::Interrupted:
        return "interrupted";
    case Outcome::Lost:
        return "lost";
    }
    return "lost";
}

const std::vector<Outcome>& WorstFirst() {
    static const std::vector<Outcome> order = {
        Outcome::Interrupted, Outcome::Lost,      Outcome::CommunicationError,
        Outcome::NoAnswer,    Outcome::PortError, Outcome::BadImage,
        Outcome::Done,
    };
    return order;
}

Outcome Worst(const std::vector<Outcome>& outcomes) {
    const auto& order = WorstFirst();
    auto rank = [&](Outcome o) { return std::find(order.begin(), order.end(), o) - order.begin(); };
    Outcome worst = Outcome::Done;
    for (Outcome o : outcomes) {
        if (rank(o) < rank(worst))
            worst = o;
    }
    return worst;
}

Outcome ClassifyRun(const std::vector<std::string>& log, const std::vector<std::string>& boxes) {
    const std::string last = log.empty() ? std::string() : log.back();
    if (last == "Done.")
        return Outcome::Done;
    if (last == "Communication Error")
        return Outcome::NoAnswer;
    if (last == "Cannot open file." || last == "File size error.")
        return Outcome::BadImage;
    if (std::find(boxes.begin(), boxes.end(), "Port Error.") != boxes.end())
        return Outcome::PortError;
    // Any other last line is a step that failed after the size check ("Communication error 1."
    // to "4.", "File read error."): the receiver may have taken part of the image.
    return log.empty() ? Outcome::Lost : Outcome::CommunicationError;
}

std::string ExitStatusTable() {
    return "Exit status (with several ports the first of these that any port has, in this order):\n"
           "  130  interrupted (SIGINT or SIGTERM): receivers left unfinished\n"
           "    6  a worker ended without a result (it crashed or was killed)\n"
           "    1  communication error after the wake-up (\"Communication error 1.\" to \"4.\")\n"
           "    5  no answer from the receiver to the wake-up (\"Communication Error\")\n"
           "    4  a port cannot be opened (missing, in use, not a serial port: \"Port Error.\")\n"
           "    3  bad image file (missing, unreadable, not a regular file, 2,465,792 bytes or "
           "more)\n"
           "    2  usage error (unknown option, missing IMAGE, a port given twice)\n"
           "    0  every port ended \"Done.\"\n";
}
