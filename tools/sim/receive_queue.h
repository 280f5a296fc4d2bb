// Bytes read from the host, each with the time at which it has fully arrived on the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

class ReceiveQueue {
public:
    // paced: a byte arrives no sooner than one byte time after the one before it, as on a
    // 115200 baud line; otherwise it arrives when it is read.
    explicit ReceiveQueue(bool paced) : paced_(paced) {}

    void Push(const std::uint8_t* data, std::size_t count, std::int64_t readNs);

    std::size_t Size() const { return bytes_.size() - head_; }
    const std::uint8_t* Data() const { return bytes_.data() + head_; }

    // Modelled arrival of the byte at index (index < Size()).
    std::int64_t ArrivalNs(std::size_t index) const;

    void Consume(std::size_t count);

private:
    // Bytes that arrive back to back from startNs on.
    struct Run {
        std::int64_t startNs = 0;
        std::size_t count = 0;
    };

    std::int64_t RunByteNs(const Run& run, std::size_t index) const;

    bool paced_;
    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
    std::deque<Run> runs_;
    std::size_t consumedOfFirstRun_ = 0;
    std::int64_t nextSlotNs_ = 0; // when the line is free: the last byte received has crossed it
};

} // namespace sim
