#include "transmit_queue.h"

#include "line_timing.h"

#include <algorithm>
#include <utility>

namespace sim {

namespace {

// Paced bytes go out in pieces of up to this many, each written once its last byte has crossed
// the line: a byte never reaches the host early, and a long answer costs one wake-up per piece.
constexpr std::size_t kPiece = 8;

} // namespace

void TransmitQueue::Push(Outgoing outgoing) {
    items_.push_back(Item{std::move(outgoing)});
}

void TransmitQueue::StartHead() {
    Item& head = items_.front();
    if (head.started)
        return;
    head.started = true;
    head.startNs =
        paced_ ? std::max(head.outgoing.notBeforeNs, lineFreeNs_) : head.outgoing.notBeforeNs;
}

std::optional<std::int64_t> TransmitQueue::NextDueNs() {
    if (items_.empty())
        return std::nullopt;
    StartHead();
    const Item& head = items_.front();
    if (!paced_)
        return head.startNs;
    const std::size_t pieceEnd = std::min(head.written + kPiece, head.outgoing.bytes.size());
    return head.startNs + LineTimeNs(static_cast<std::int64_t>(pieceEnd));
}

std::size_t TransmitQueue::DueBytes(std::int64_t nowNs) {
    if (items_.empty())
        return 0;
    StartHead();
    const Item& head = items_.front();
    const std::size_t left = head.outgoing.bytes.size() - head.written;
    if (nowNs < head.startNs)
        return 0;
    if (!paced_)
        return left;
    const std::size_t size = head.outgoing.bytes.size();
    const auto onLine = std::min(size, static_cast<std::size_t>(BytesOnLine(nowNs - head.startNs)));
    if (onLine <= head.written)
        return 0;
    const std::size_t due = onLine - head.written;
    return due >= kPiece || onLine == size ? due : 0;
}

const std::uint8_t* TransmitQueue::DueData() const {
    const Item& head = items_.front();
    return head.outgoing.bytes.data() + head.written;
}

std::optional<std::string> TransmitQueue::Written(std::size_t count) {
    Item& head = items_.front();
    head.written += count;
    if (head.written < head.outgoing.bytes.size())
        return std::nullopt;
    if (paced_)
        lineFreeNs_ = head.startNs + LineTimeNs(static_cast<std::int64_t>(head.written));
    std::string line = std::move(head.outgoing.line);
    items_.pop_front();
    return line;
}

} // namespace sim
