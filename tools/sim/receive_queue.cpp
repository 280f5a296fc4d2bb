#include "receive_queue.h"

#include "line_timing.h"

#include <algorithm>

namespace sim {

namespace {

constexpr std::size_t kCompactAbove = 64 * 1024; // consumed bytes kept before moving the rest

} // namespace

// The byte at index has crossed the line once its own ten bit times have passed too: the first
// byte of a run ends one byte time after the run starts.
std::int64_t ReceiveQueue::RunByteNs(const Run& run, std::size_t index) const {
    return paced_ ? run.startNs + LineTimeNs(static_cast<std::int64_t>(index) + 1) : run.startNs;
}

void ReceiveQueue::Push(const std::uint8_t* data, std::size_t count, std::int64_t readNs) {
    if (count == 0)
        return;
    bytes_.insert(bytes_.end(), data, data + count);
    if (paced_ && !runs_.empty() && readNs <= nextSlotNs_) {
        // Still arriving back to back behind the bytes before.
        runs_.back().count += count;
    } else {
        runs_.push_back(Run{paced_ ? std::max(readNs, nextSlotNs_) : readNs, count});
    }
    const Run& last = runs_.back();
    nextSlotNs_ = RunByteNs(last, last.count - 1); // the line is free once the last byte is in
}

std::int64_t ReceiveQueue::ArrivalNs(std::size_t index) const {
    index += consumedOfFirstRun_;
    for (const Run& run : runs_) {
        if (index < run.count)
            return RunByteNs(run, index);
        index -= run.count;
    }
    return nextSlotNs_;
}

void ReceiveQueue::Consume(std::size_t count) {
    count = std::min(count, Size());
    head_ += count;
    consumedOfFirstRun_ += count;
    while (!runs_.empty() && consumedOfFirstRun_ >= runs_.front().count) {
        consumedOfFirstRun_ -= runs_.front().count;
        runs_.pop_front();
    }
    if (head_ == bytes_.size()) {
        bytes_.clear();
        head_ = 0;
    } else if (head_ > kCompactAbove) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

} // namespace sim
