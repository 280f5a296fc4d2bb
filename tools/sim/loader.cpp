#include "loader.h"

#include "frames.h"
#include "report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>

namespace sim {

namespace {

// A wake-up frame that arrives after the loader has woken opens stage 2 when control frame
// 0x0028 follows it at once; alone, it is the host's next wake-up attempt.
constexpr std::int64_t kStage2WindowNs = 400 * 1'000'000;
// A frame that stops arriving for this long is dropped, so that the loader never waits for
// bytes that will not come.
constexpr std::int64_t kIncompleteFrameNs = 1000 * 1'000'000;
constexpr std::uint8_t kExtraByte = 0x5A;
constexpr std::size_t kShortAnswer = 11; // bytes of a reply cut short

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

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

bool Loader::Answer(Step step, std::uint16_t code, std::int64_t atNs, int block) {
    if (garbage_)
        return false;
    if (options_.silent) {
        Emit("TX none step=%s why=silent", StepName(step));
        return false;
    }
    Outgoing out{ReplyFrame(code, 0), AnswerAtNs(atNs), Format("TX reply code=0x%04x", code)};
    const Fault* fault = ActiveFault(step, block);
    if (fault == nullptr) {
        events_.Send(std::move(out));
        return true;
    }
    switch (fault->kind) {
    case FaultKind::Silent:
        Emit("TX none step=%s why=fault", StepName(step));
        return false;
    case FaultKind::WrongCode: {
        const auto wrong = static_cast<std::uint16_t>(code + 1);
        out.bytes = ReplyFrame(wrong, 0);
        out.line = Format("TX reply code=0x%04x fault=wrong-code", wrong);
        break;
    }
    case FaultKind::NonzeroLength:
        out.bytes = ReplyFrame(code, 1);
        out.line += " len=1 fault=nonzero-length";
        break;
    case FaultKind::Short:
        out.bytes.resize(kShortAnswer);
        out.line += Format(" bytes=%zu fault=short", kShortAnswer);
        break;
    case FaultKind::Late:
        out.notBeforeNs += static_cast<std::int64_t>(fault->argMs) * 1'000'000;
        out.line += Format(" fault=late delay=%d", fault->argMs);
        break;
    case FaultKind::ExtraByte:
        out.bytes.push_back(kExtraByte);
        out.line += Format(" bytes=%zu fault=extra-byte", out.bytes.size());
        break;
    case FaultKind::Garbage:
        garbage_ = true;
        events_.StartGarbage();
        return false;
    case FaultKind::Hangup:
        HangUpIn(step);
        return false;
    }
    events_.Send(std::move(out));
    return AnswersRight(fault->kind);
}

bool Loader::AnswerStage2(std::int64_t atNs) {
    const bool right = Answer(Step::Stage2, kReplyAck, atNs);
    if (options_.silent || garbage_ || hungUp_)
        return false;
    const Fault* fault = ActiveFault(Step::Stage2, 0);
    if (fault != nullptr && (fault->kind == FaultKind::Silent || fault->kind == FaultKind::Short))
        return false; // the loader stopped in the middle of its answer
    std::int64_t infoAtNs = atNs;
    if (fault != nullptr && fault->kind == FaultKind::Late)
        infoAtNs += static_cast<std::int64_t>(fault->argMs) * 1'000'000;
    SendInfo(infoAtNs);
    return right && !garbage_ && !hungUp_;
}

void Loader::SendInfo(std::int64_t atNs) {
    const std::uint16_t length = options_.infoLength;
    const std::size_t sent = options_.infoBytes == InfoBytes::All    ? length
                             : options_.infoBytes == InfoBytes::Part ? length / 2
                                                                     : 0;
    Outgoing out{InfoReply(length, sent), AnswerAtNs(atNs),
                 Format("TX info len=%u sent=%zu", length, sent)};
    const Fault* fault = ActiveFault(Step::Info, 0);
    if (fault != nullptr) {
        switch (fault->kind) {
        case FaultKind::Silent:
            Emit("TX none step=info why=fault");
            return;
        case FaultKind::Short:
            out.bytes.resize(kShortAnswer);
            out.line += Format(" bytes=%zu fault=short", kShortAnswer);
            break;
        case FaultKind::Late:
            out.notBeforeNs += static_cast<std::int64_t>(fault->argMs) * 1'000'000;
            out.line += Format(" fault=late delay=%d", fault->argMs);
            break;
        case FaultKind::ExtraByte:
            out.bytes.push_back(kExtraByte);
            out.line += Format(" bytes=%zu fault=extra-byte", out.bytes.size());
            break;
        case FaultKind::Garbage:
            garbage_ = true;
            events_.StartGarbage();
            return;
        case FaultKind::Hangup:
            HangUpIn(Step::Info);
            return;
        case FaultKind::WrongCode:
        case FaultKind::NonzeroLength:
            break; // refused by the option parser
        }
    }
    events_.Send(std::move(out));
}

const Fault* Loader::ActiveFault(Step step, int block) const {
    if (options_.faultDialogues > 0 && dialogueNumber_ > options_.faultDialogues)
        return nullptr;
    return FindFault(options_.faults, step, block);
}

std::int64_t Loader::AnswerAtNs(std::int64_t atNs) const {
    return atNs + static_cast<std::int64_t>(options_.replyDelayMs) * 1'000'000;
}

void Loader::HangUpIn(Step step) {
    Emit("HANGUP step=%s", StepName(step));
    hungUp_ = true;
    hangUpStep_ = step;
    events_.HangUp();
}

void Loader::Violation(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Emit("VIOLATION %s", text);
    dialogue_.begun = true;
    if (dialogue_.violations++ == 0)
        dialogue_.firstViolation = text;
    anyViolation_ = true;
}

void Loader::Verdict(bool completed) {
    ++verdicts_;
    const char* step = completed ? StepName(Step::End) : StepName(CurrentStep());
    if (dialogue_.violations > 0) {
        Emit("VERDICT FAIL step=%s blocks=%d violations=%d first=%s", step, dialogue_.blocks,
             dialogue_.violations, dialogue_.firstViolation.c_str());
    } else if (completed) {
        Emit("VERDICT OK image=%zu blocks=%d crc=all-ok", dialogue_.image.size(), dialogue_.blocks);
    } else {
        Emit("VERDICT INCOMPLETE step=%s blocks=%d", step, dialogue_.blocks);
    }
}

void Loader::NewDialogue() {
    dialogue_ = Dialogue{};
    state_ = State::Asleep;
    ++dialogueNumber_;
}

void Loader::Finish() {
    if (!hungUp_ && !frame_.empty())
        Violation("%s cut off at exit: %zu of %zu bytes", FrameName(), frame_.size(), frameSize_);
    if (dialogue_.begun || verdicts_ == 0)
        Verdict(false);
}

const char* Loader::FrameName() const {
    switch (receiving_) {
    case Receiving::Control:
        return "control frame";
    case Receiving::FirstBlock:
        return "first block frame";
    case Receiving::Block:
    case Receiving::Unexpected:
        break;
    }
    return "block frame";
}

void Loader::WriteImage() const {
    if (options_.outPath.empty())
        return;
    const std::string partPath = options_.outPath + ".part";
    std::FILE* file = std::fopen(partPath.c_str(), "wb");
    bool ok = file != nullptr;
    if (ok && !dialogue_.image.empty())
        ok = std::fwrite(dialogue_.image.data(), 1, dialogue_.image.size(), file) ==
             dialogue_.image.size();
    if (file != nullptr && std::fclose(file) != 0)
        ok = false;
    if (!ok || std::rename(partPath.c_str(), options_.outPath.c_str()) != 0)
        std::fprintf(stderr, "brisko-k71-sim: cannot write %s\n", options_.outPath.c_str());
}

Step Loader::CurrentStep() const {
    if (hangUpStep_)
        return *hangUpStep_;
    switch (state_) {
    case State::Asleep:
        return Step::Wake;
    case State::Awake:
        return Step::Stage2;
    case State::Stage3:
        return Step::Stage3;
    case State::First:
        return Step::First;
    case State::Loop:
        return Step::Block;
    }
    return Step::Wake;
}

} // namespace sim
