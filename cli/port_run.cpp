#include "port_run.h"

#include "frames.h"

#include <algorithm>
#include <cstdlib>

int BlockFramesFor(std::int64_t imageSize) {
    if (imageSize <= kBlockDataSize)
        return 1;
    return 1 + static_cast<int>((imageSize - kBlockDataSize + kBlockDataSize - 1) / kBlockDataSize);
}

PortRun::PortRun(PortTarget target, std::int64_t imageSize, FlashClock::time_point start)
    : target_(std::move(target)), imageSize_(imageSize), blocksTotal_(BlockFramesFor(imageSize)),
      start_(start) {}

void PortRun::Apply(const WorkerEvent& event, FlashClock::time_point now) {
    switch (event.kind) {
    case WorkerEvent::Kind::Line: {
        const std::string& text = event.text;
        log_.push_back(text);
        waking_ = text == "Please turn ON the IRD";
        if (text == "Communication established") {
            established_ = true;
            establishedAt_ = now;
        } else if (text.rfind("Block ", 0) == 0) {
            // "Block n" follows the acknowledgement of the (n + 1)-th block frame.
            blocksAcked_ = std::min(blocksTotal_, std::atoi(text.c_str() + 6) + 1);
            lastAckAt_ = now;
        } else if (text == "Done.") {
            blocksAcked_ = blocksTotal_;
            lastAckAt_ = now;
        }
        break;
    }
    case WorkerEvent::Kind::Box:
        boxes_.push_back(event.text);
        break;
    case WorkerEvent::Kind::Wake:
        wakeAttempts_ = event.wakeAttempt;
        break;
    case WorkerEvent::Kind::End:
        endSeen_ = true;
        stopped_ = event.stopped;
        bytesOut_ = event.bytesOut;
        bytesIn_ = event.bytesIn;
        lineSeconds_ = event.lineSeconds;
        break;
    }
}

void PortRun::Finish(FlashClock::time_point now) {
    ended_ = true;
    waking_ = false;
    endAt_ = now;
    if (!endSeen_)
        outcome_ = Outcome::Lost;
    else if (stopped_)
        outcome_ = Outcome::Interrupted;
    else
        outcome_ = ClassifyRun(log_, boxes_);
}

std::string PortRun::ResultText() const {
    switch (outcome_) {
    case Outcome::Interrupted:
        if (!established_)
            return "Stopped before the receiver answered: nothing was written";
        return "Stopped: the receiver was left unfinished (" + std::to_string(blocksAcked_) +
               " of " + std::to_string(blocksTotal_) + " block frames acknowledged)";
    case Outcome::Lost:
        return "The worker ended without a result";
    case Outcome::PortError: {
        std::string text = "Port Error.";
        if (!boxes_.empty() && boxes_.front() != "Port Error.")
            text += " (" + boxes_.front() + ")";
        return text;
    }
    default:
        return log_.empty() ? std::string() : log_.back();
    }
}

std::int64_t PortRun::BytesAcknowledged() const {
    return std::min<std::int64_t>(imageSize_,
                                  static_cast<std::int64_t>(blocksAcked_) * kBlockDataSize);
}

double PortRun::BytesPerSecond(FlashClock::time_point now) const {
    if (!established_ || blocksAcked_ == 0)
        return 0;
    const auto until = ended_ ? lastAckAt_ : now;
    const double seconds = std::chrono::duration<double>(until - establishedAt_).count();
    return seconds > 0 ? static_cast<double>(BytesAcknowledged()) / seconds : 0;
}

double PortRun::Seconds(FlashClock::time_point now) const {
    return std::chrono::duration<double>((ended_ ? endAt_ : now) - start_).count();
}
