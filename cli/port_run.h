// What the parent knows of one port's upload, built from its worker's events.
#pragma once

#include "events.h"
#include "outcome.h"
#include "port_target.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using FlashClock = std::chrono::steady_clock;

// Block frames that an image of size bytes goes out in: the first block frame, then one per
// 4080 bytes after the first 4080.
int BlockFramesFor(std::int64_t imageSize);

class PortRun {
public:
    PortRun(PortTarget target, std::int64_t imageSize, FlashClock::time_point start);

    void Apply(const WorkerEvent& event, FlashClock::time_point now);
    // The worker process is gone: settles the outcome.
    void Finish(FlashClock::time_point now);

    const PortTarget& Target() const { return target_; }
    const std::vector<std::string>& Log() const { return log_; }
    const std::vector<std::string>& Boxes() const { return boxes_; }
    bool Ended() const { return ended_; }
    bool Waking() const { return waking_; }
    bool Established() const { return established_; }
    Outcome Result() const { return outcome_; }
    // Stopped after the receiver had started to take the image: it holds an unfinished one.
    bool LeftUnfinished() const { return outcome_ == Outcome::Interrupted && established_; }
    // The line that tells how the port ended.
    std::string ResultText() const;

    int WakeAttempts() const { return wakeAttempts_; }
    int BlocksAcknowledged() const { return blocksAcked_; }
    int BlocksTotal() const { return blocksTotal_; }
    std::int64_t ImageSize() const { return imageSize_; }
    std::int64_t BytesAcknowledged() const;
    // Image bytes a second since the wake-up succeeded; 0 before any block was acknowledged.
    double BytesPerSecond(FlashClock::time_point now) const;
    // From the start of the worker to its end (or to now while it runs).
    double Seconds(FlashClock::time_point now) const;
    std::uint64_t BytesOut() const { return bytesOut_; }
    std::uint64_t BytesIn() const { return bytesIn_; }
    double LineSeconds() const { return lineSeconds_; }

private:
    PortTarget target_;
    std::int64_t imageSize_;
    int blocksTotal_;
    FlashClock::time_point start_;
    FlashClock::time_point establishedAt_{};
    FlashClock::time_point lastAckAt_{};
    FlashClock::time_point endAt_{};
    std::vector<std::string> log_;
    std::vector<std::string> boxes_;
    int wakeAttempts_ = 0;
    int blocksAcked_ = 0;
    bool waking_ = false;
    bool established_ = false;
    bool endSeen_ = false;
    bool stopped_ = false;
    bool ended_ = false;
    Outcome outcome_ = Outcome::Lost;
    std::uint64_t bytesOut_ = 0;
    std::uint64_t bytesIn_ = 0;
    double lineSeconds_ = 0;
};
