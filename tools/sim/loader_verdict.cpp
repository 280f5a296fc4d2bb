#include "loader.h"

#include "report.h"

#include <cstdarg>
#include <cstdio>

namespace sim {

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
