#include "loader.h"

#include "frames.h"
#include "line_timing.h"
#include "report.h"

#include <algorithm>

namespace sim {

namespace {

// A wake-up frame that arrives after the loader has woken opens stage 2 when control frame
// 0x0028 follows it at once; alone, it is the host's next wake-up attempt.
constexpr std::int64_t kStage2WindowNs = 400 * kNsPerMs;
// A frame that stops arriving for this long is dropped, so that the loader never waits for
// bytes that will not come.
constexpr std::int64_t kIncompleteFrameNs = 1000 * kNsPerMs;

} // namespace

Loader::Loader(const Options& options, LoaderEvents& events) : options_(options), events_(events) {
    frameSize_ = kControlSize;
    frame_.reserve(kFirstBlockSize);
}

std::size_t Loader::Wanted() const {
    std::size_t target = frameSize_;
    if (hangUpAt_ != 0 && frame_.size() < hangUpAt_)
        target = hangUpAt_;
    return std::max<std::size_t>(1, target - std::min(target, frame_.size()));
}

void Loader::Feed(const std::uint8_t* data, std::size_t count, std::int64_t lastArrivalNs) {
    lastByteNs_ = lastArrivalNs;
    while (count > 0 && !hungUp_) {
        const std::size_t take = std::min(count, Wanted());
        frame_.insert(frame_.end(), data, data + take);
        data += take;
        count -= take;
        if (hangUpAt_ != 0 && frame_.size() == hangUpAt_) {
            hangUpAt_ = 0;
            HangUpIn(receiving_ == Receiving::FirstBlock ? Step::First : Step::Block);
            return;
        }
        if (frame_.size() < frameSize_)
            continue;
        if (receiving_ == Receiving::Control)
            TakeControl(lastArrivalNs);
        else
            TakeBlockFrame(lastArrivalNs);
    }
}

std::optional<std::int64_t> Loader::DeadlineNs() const {
    if (hungUp_)
        return std::nullopt;
    std::optional<std::int64_t> deadline;
    if (pendingWakeNs_)
        deadline = *pendingWakeNs_ + kStage2WindowNs;
    if (!frame_.empty()) {
        const std::int64_t drop = lastByteNs_ + kIncompleteFrameNs;
        deadline = deadline ? std::min(*deadline, drop) : drop;
    }
    return deadline;
}

void Loader::OnDeadline(std::int64_t nowNs) {
    if (pendingWakeNs_ && nowNs >= *pendingWakeNs_ + kStage2WindowNs)
        LoneWakeFrame(nowNs);
    if (!frame_.empty() && nowNs >= lastByteNs_ + kIncompleteFrameNs) {
        Violation("incomplete %s: %zu of %zu bytes, dropped", FrameName(), frame_.size(),
                  frameSize_);
        frame_.clear();
        receiving_ = Receiving::Control;
        frameSize_ = kControlSize;
        hangUpAt_ = 0;
        resynchronising_ = false;
    }
}

void Loader::TakeControl(std::int64_t atNs) {
    const ControlFrame frame = ParseControl(frame_.data());
    if (!frame.magicOk) {
        if (!resynchronising_) {
            Violation("bad magic%s", afterBlockFrame_
                                         ? " after a block frame (block longer than announced?)"
                                         : "");
            resynchronising_ = true;
        }
        Resynchronise();
        return;
    }
    resynchronising_ = false;
    afterBlockFrame_ = false;
    frame_.clear();
    Emit("RX ctrl code=0x%04x len=%u", frame.code, frame.length);
    dialogue_.begun = true;
    Dispatch(frame.code, frame.length, atNs);
}

void Loader::Resynchronise() {
    const std::size_t skip = NextMagicCandidate(frame_.data(), frame_.size());
    frame_.erase(frame_.begin(), frame_.begin() + static_cast<std::ptrdiff_t>(skip));
}

void Loader::Dispatch(std::uint16_t code, std::uint16_t length, std::int64_t atNs) {
    if (length != 0 && code != kCodeBlock)
        Violation("control frame 0x%04x with length %u", code, length);
    if (pendingWakeNs_) {
        if (code == kCodeStage2) {
            pendingWakeNs_.reset();
            Stage2(atNs);
            return;
        }
        LoneWakeFrame(atNs);
    }
    switch (code) {
    case kCodeWake:
        if (state_ == State::Asleep)
            WakeFrame(atNs);
        else
            pendingWakeNs_ = atNs;
        return;
    case kCodeStage2:
        Violation("control frame 0x0028 without 0x0012 just before it");
        return;
    case kCodeZero:
        if (state_ == State::Stage3)
            Stage3Frame(atNs);
        else
            LeadingFrame(code);
        return;
    case kCodeOne:
        LeadingFrame(code);
        return;
    case kCodeBlock:
        Announce(length);
        return;
    case kCodeEnd:
        EndFrame(atNs);
        return;
    default:
        Violation("unknown control frame 0x%04x in step %s", code, StepName(CurrentStep()));
        return;
    }
}

void Loader::WakeFrame(std::int64_t atNs) {
    ++dialogue_.wakeFrames;
    if (dialogue_.wakeFrames < options_.answerWake) {
        if (!garbage_)
            Emit("TX none step=wake why=ignored");
        return;
    }
    if (Answer(Step::Wake, kReplyAwake, atNs))
        state_ = State::Awake;
}

void Loader::LoneWakeFrame(std::int64_t atNs) {
    pendingWakeNs_.reset();
    if (state_ != State::Asleep) {
        // The host starts over: the dialogue so far is abandoned.
        Verdict(false);
        NewDialogue();
        dialogue_.begun = true;
    }
    WakeFrame(atNs);
}

void Loader::Stage2(std::int64_t atNs) {
    if (state_ != State::Awake) {
        Violation("stage 2 frames 0x0012 0x0028 in step %s", StepName(CurrentStep()));
        return;
    }
    if (AnswerStage2(atNs))
        state_ = State::Stage3;
}

void Loader::Stage3Frame(std::int64_t atNs) {
    if (Answer(Step::Stage3, kReplyStage3, atNs)) {
        state_ = State::First;
        dialogue_.leadingFrames = 0;
    }
}

void Loader::LeadingFrame(std::uint16_t code) {
    const std::uint16_t expected = dialogue_.leadingFrames == 0 ? kCodeZero : kCodeOne;
    if (state_ != State::First || dialogue_.leadingFrames >= 3 || code != expected) {
        Violation("unexpected control frame 0x%04x in step %s", code, StepName(CurrentStep()));
        return;
    }
    ++dialogue_.leadingFrames;
}

void Loader::Announce(std::uint16_t length) {
    const int blockNumber = dialogue_.loopBlocks + 1;
    if (state_ == State::First) {
        if (dialogue_.leadingFrames != 3)
            Violation("0x0030 without the frames 0x0000 0x0001 0x0001 before the first block");
        if (length != kFirstBlockSize)
            Violation("first block announced with length %u, not %zu", length, kFirstBlockSize);
        receiving_ = Receiving::FirstBlock;
    } else if (state_ == State::Loop) {
        if (dialogue_.lastBlockShort)
            Violation("block %d follows a short block", blockNumber);
        if (length < kCrcSize + 1)
            Violation("block %d announced with length %u, below 5", blockNumber, length);
        else if (length > kBlockDataMax + kCrcSize)
            Violation("block %d announced with length %u, above %zu", blockNumber, length,
                      kBlockDataMax + kCrcSize);
        receiving_ = Receiving::Block;
    } else {
        Violation("block frame announced in step %s", StepName(CurrentStep()));
        receiving_ = Receiving::Unexpected;
    }
    frame_.clear();
    frameSize_ = length;
    hangUpAt_ = 0;
    if (receiving_ != Receiving::Unexpected) {
        const Fault* fault = receiving_ == Receiving::FirstBlock
                                 ? ActiveFault(Step::First, 0)
                                 : ActiveFault(Step::Block, blockNumber);
        if (fault != nullptr && fault->kind == FaultKind::Hangup)
            hangUpAt_ = std::max<std::size_t>(1, length / 2);
    }
    if (length == 0)
        TakeBlockFrame(lastByteNs_);
}

void Loader::TakeBlockFrame(std::int64_t atNs) {
    const Receiving kind = receiving_;
    receiving_ = Receiving::Control;
    hangUpAt_ = 0;
    afterBlockFrame_ = true;
    if (kind == Receiving::FirstBlock)
        FirstBlockFrame(atNs);
    else if (kind == Receiving::Block)
        LoopBlockFrame(atNs);
    else
        Emit("RX block-frame bytes=%zu unexpected", frame_.size());
    frame_.clear();
    frameSize_ = kControlSize;
}

void Loader::FirstBlockFrame(std::int64_t atNs) {
    const std::size_t size = frame_.size();
    const std::uint8_t* bytes = frame_.data();
    const bool framed = size >= kFirstBlockPrefix.size() + kCrcSize;
    const bool crcOk = framed && Crc32(bytes, size - kCrcSize) == ReadBe32(bytes + size - kCrcSize);
    Emit("RX first-block bytes=%zu crc=%s", size, crcOk ? "ok" : "bad");
    if (framed && !std::equal(kFirstBlockPrefix.begin(), kFirstBlockPrefix.end(), bytes))
        Violation("first block prefix %02x %02x %02x %02x, not 00 20 00 00", bytes[0], bytes[1],
                  bytes[2], bytes[3]);
    if (!crcOk) {
        Violation("bad CRC-32 in the first block frame");
        Emit("TX none step=first why=bad-crc");
        dialogue_.leadingFrames = 0;
        return;
    }
    dialogue_.image.assign(bytes + kFirstBlockPrefix.size(), bytes + size - kCrcSize);
    dialogue_.blocks = 1;
    if (Answer(Step::First, kReplyAck, atNs)) {
        state_ = State::Loop;
        dialogue_.loopBlocks = 0;
        dialogue_.lastBlockShort = false;
    } else {
        dialogue_.leadingFrames = 0;
    }
}

void Loader::LoopBlockFrame(std::int64_t atNs) {
    const int blockNumber = dialogue_.loopBlocks + 1;
    const std::size_t size = frame_.size();
    const std::uint8_t* bytes = frame_.data();
    const bool crcOk =
        size >= kCrcSize && Crc32(bytes, size - kCrcSize) == ReadBe32(bytes + size - kCrcSize);
    Emit("RX block n=%d bytes=%zu crc=%s", blockNumber, size, crcOk ? "ok" : "bad");
    if (!crcOk) {
        Violation("bad CRC-32 in block %d", blockNumber);
        Emit("TX none step=block why=bad-crc");
        return;
    }
    const std::size_t dataSize = size - kCrcSize;
    dialogue_.image.insert(dialogue_.image.end(), bytes, bytes + dataSize);
    ++dialogue_.blocks;
    ++dialogue_.loopBlocks;
    dialogue_.lastBlockShort = dataSize < kBlockDataMax;
    Answer(Step::Block, kReplyAck, atNs, blockNumber);
}

void Loader::EndFrame(std::int64_t atNs) {
    if (state_ != State::Loop) {
        Violation("end frame 0x0013 in step %s", StepName(CurrentStep()));
        return;
    }
    WriteImage();
    Answer(Step::End, kReplyAck, atNs); // the host does not judge this answer
    Verdict(true);
    ++completed_;
    NewDialogue();
}

} // namespace sim
