#include "loader.h"

#include "frames.h"
#include "line_timing.h"
#include "report.h"

#include <utility>

namespace sim {

namespace {

constexpr std::uint8_t kExtraByte = 0x5A;
constexpr std::size_t kShortAnswer = 11; // bytes of an answer cut short

std::int64_t MsToNs(int ms) {
    return static_cast<std::int64_t>(ms) * kNsPerMs;
}

} // namespace

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
    if (!Spoil(*fault, step, code, out))
        return false;
    events_.Send(std::move(out));
    if (fault->kind == FaultKind::HangupAfter)
        HangUpIn(step); // once the answer has gone out
    return AnswersRight(fault->kind);
}

bool Loader::Spoil(const Fault& fault, Step step, std::uint16_t code, Outgoing& out) {
    switch (fault.kind) {
    case FaultKind::Silent:
        Emit("TX none step=%s why=fault", StepName(step));
        return false;
    case FaultKind::WrongCode: {
        const auto wrong = static_cast<std::uint16_t>(code + 1);
        out.bytes = ReplyFrame(wrong, 0);
        out.line = Format("TX reply code=0x%04x fault=wrong-code", wrong);
        return true;
    }
    case FaultKind::NonzeroLength:
        out.bytes = ReplyFrame(code, 1);
        out.line += " len=1 fault=nonzero-length";
        return true;
    case FaultKind::Short:
        out.bytes.resize(kShortAnswer);
        out.line += Format(" bytes=%zu fault=short", kShortAnswer);
        return true;
    case FaultKind::Late:
        out.notBeforeNs += MsToNs(fault.argMs);
        out.line += Format(" fault=late delay=%d", fault.argMs);
        return true;
    case FaultKind::ExtraByte:
        out.bytes.push_back(kExtraByte);
        out.line += Format(" bytes=%zu fault=extra-byte", out.bytes.size());
        return true;
    case FaultKind::Twice: {
        // One write: the copy is on the line before the host can send anything more.
        const std::vector<std::uint8_t> once = out.bytes;
        out.bytes.insert(out.bytes.end(), once.begin(), once.end());
        out.line += Format(" bytes=%zu fault=twice", out.bytes.size());
        return true;
    }
    case FaultKind::HangupAfter:
        out.line += " fault=hangup-after";
        return true;
    case FaultKind::Garbage:
        garbage_ = true;
        events_.StartGarbage();
        return false;
    case FaultKind::Hangup:
        HangUpIn(step);
        return false;
    }
    return true;
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
        infoAtNs += MsToNs(fault->argMs);
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
    // The reply has no code or length of its own: wrong-code and nonzero-length are refused for
    // it by the option parser.
    const Fault* fault = ActiveFault(Step::Info, 0);
    if (fault != nullptr && !Spoil(*fault, Step::Info, 0, out))
        return;
    events_.Send(std::move(out));
    if (fault != nullptr && fault->kind == FaultKind::HangupAfter)
        HangUpIn(Step::Info);
}

const Fault* Loader::ActiveFault(Step step, int block) const {
    if (options_.faultDialogues > 0 && dialogueNumber_ > options_.faultDialogues)
        return nullptr;
    return FindFault(options_.faults, step, block);
}

std::int64_t Loader::AnswerAtNs(std::int64_t atNs) const {
    return atNs + MsToNs(options_.replyDelayMs);
}

void Loader::HangUpIn(Step step) {
    Emit("HANGUP step=%s", StepName(step));
    hungUp_ = true;
    hangUpStep_ = step;
    events_.HangUp();
}

} // namespace sim
