#include "fault.h"

#include <array>
#include <charconv>
#include <utility>

namespace sim {

namespace {

constexpr std::array<std::pair<const char*, Step>, 7> kSteps{{
    {"wake", Step::Wake},
    {"stage2", Step::Stage2},
    {"info", Step::Info},
    {"stage3", Step::Stage3},
    {"first", Step::First},
    {"block", Step::Block},
    {"end", Step::End},
}};

constexpr std::array<std::pair<const char*, FaultKind>, 10> kKinds{{
    {"silent", FaultKind::Silent},
    {"wrong-code", FaultKind::WrongCode},
    {"nonzero-length", FaultKind::NonzeroLength},
    {"short", FaultKind::Short},
    {"late", FaultKind::Late},
    {"extra-byte", FaultKind::ExtraByte},
    {"garbage", FaultKind::Garbage},
    {"hangup", FaultKind::Hangup},
    {"twice", FaultKind::Twice},
    {"hangup-after", FaultKind::HangupAfter},
}};

bool ParseNumber(std::string_view text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// "wake", "stage2", ..., "block" (every block of the loop) or "blockN".
bool ParseStep(std::string_view text, Fault& fault) {
    for (const auto& [name, step] : kSteps) {
        if (text == name) {
            fault.step = step;
            return true;
        }
    }
    constexpr std::string_view kBlock = "block";
    if (text.substr(0, kBlock.size()) != kBlock)
        return false;
    fault.step = Step::Block;
    return ParseNumber(text.substr(kBlock.size()), fault.block) && fault.block >= 1;
}

} // namespace

const char* StepName(Step step) {
    for (const auto& [name, value] : kSteps) {
        if (value == step)
            return name;
    }
    return "?";
}

std::optional<Fault> ParseFault(std::string_view text, std::string& error) {
    const auto firstColon = text.find(':');
    if (firstColon == std::string_view::npos) {
        error = "expected STEP:KIND[:ARG]";
        return std::nullopt;
    }
    const std::string_view stepText = text.substr(0, firstColon);
    std::string_view kindText = text.substr(firstColon + 1);
    std::string_view argText;
    const auto secondColon = kindText.find(':');
    if (secondColon != std::string_view::npos) {
        argText = kindText.substr(secondColon + 1);
        kindText = kindText.substr(0, secondColon);
    }

    Fault fault;
    if (!ParseStep(stepText, fault)) {
        error = "unknown step '" + std::string(stepText) +
                "' (wake, stage2, info, stage3, first, block, blockN, end)";
        return std::nullopt;
    }
    bool kindFound = false;
    for (const auto& [name, kind] : kKinds) {
        if (kindText == name) {
            fault.kind = kind;
            kindFound = true;
        }
    }
    if (!kindFound) {
        error = "unknown kind '" + std::string(kindText) + "'";
        return std::nullopt;
    }
    if (fault.step == Step::Info &&
        (fault.kind == FaultKind::WrongCode || fault.kind == FaultKind::NonzeroLength)) {
        error = "the device information reply has no code and no length field";
        return std::nullopt;
    }
    if (secondColon != std::string_view::npos) {
        if (fault.kind != FaultKind::Late) {
            error = "only 'late' takes an argument";
            return std::nullopt;
        }
        if (!ParseNumber(argText, fault.argMs) || fault.argMs < 0) {
            error = "bad delay '" + std::string(argText) + "'";
            return std::nullopt;
        }
    }
    return fault;
}

const Fault* FindFault(const std::vector<Fault>& faults, Step step, int block) {
    const Fault* anyBlock = nullptr;
    for (const Fault& fault : faults) {
        if (fault.step != step)
            continue;
        if (step != Step::Block || fault.block == block)
            return &fault;
        if (fault.block == 0 && anyBlock == nullptr)
            anyBlock = &fault;
    }
    return anyBlock;
}

bool AnswersRight(FaultKind kind) {
    return kind == FaultKind::Late || kind == FaultKind::ExtraByte || kind == FaultKind::Twice ||
           kind == FaultKind::HangupAfter;
}

} // namespace sim
