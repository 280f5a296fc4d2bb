// Answers waiting to go to the host, in order, each no sooner than its time and, when paced,
// byte by byte at the pace of the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Outgoing {
    std::vector<std::uint8_t> bytes;
    std::int64_t notBeforeNs = 0; // the first byte goes on the line at this time at the soonest
    std::string line;             // printed once every byte has been written
};

class TransmitQueue {
public:
    explicit TransmitQueue(bool paced) : paced_(paced) {}

    void Push(Outgoing outgoing);
    bool Empty() const { return items_.empty(); }

    // When the next byte may be written; nothing when the queue is empty.
    std::optional<std::int64_t> NextDueNs();

    // The bytes of the first answer that may be written at nowNs.
    std::size_t DueBytes(std::int64_t nowNs);
    const std::uint8_t* DueData() const;

    // Marks count bytes as written; returns the line of an answer that is now complete.
    std::optional<std::string> Written(std::size_t count);

private:
    void StartHead();

    struct Item {
        Outgoing outgoing;
        std::size_t written = 0;
        std::int64_t startNs = 0; // when its first byte starts on the line
        bool started = false;
    };

    bool paced_;
    std::deque<Item> items_;
    std::int64_t lineFreeNs_ = 0; // end of the last byte sent
};

} // namespace sim
