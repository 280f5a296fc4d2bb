// Misbehaviour on purpose: which step of the dialogue answers wrongly, and how.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class Step { Wake, Stage2, Info, Stage3, First, Block, End };

const char* StepName(Step step);

enum class FaultKind {
    Silent,        // no answer
    WrongCode,     // the reply frame with the right code plus one
    NonzeroLength, // the right code with length 1
    Short,         // only the first 11 bytes of the right answer
    Late,          // the right answer after argMs
    ExtraByte,     // the right answer and one byte more
    Garbage,       // random bytes without end, instead of the answer
    Hangup,        // the line goes away; in the middle of the frame for block steps
    Twice,         // the right answer twice, back to back
    HangupAfter,   // the right answer, then the line goes away
};

inline constexpr int kDefaultLateMs = 2500;

struct Fault {
    Step step = Step::Wake;
    int block = 0; // for Step::Block: the N-th block of the block loop, 0 for every block
    FaultKind kind = FaultKind::Silent;
    int argMs = kDefaultLateMs;
};

// Reads "STEP:KIND[:ARG]"; on failure returns nothing and says why in error.
std::optional<Fault> ParseFault(std::string_view text, std::string& error);

// The fault that applies to step (and block, for Step::Block), if any: a fault for that very
// block before a fault for every block.
const Fault* FindFault(const std::vector<Fault>& faults, Step step, int block);

// True when the fault still lets the right answer reach the host (late, extra byte, twice,
// hang-up after the answer).
bool AnswersRight(FaultKind kind);

} // namespace sim
