// The receiver's loader: follows the host's frames through the dialogue, checks each of them,
// and decides the answers. Time comes in from the caller; bytes go out through LoaderEvents.
#pragma once

#include "fault.h"
#include "options.h"
#include "transmit_queue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class LoaderEvents {
public:
    virtual ~LoaderEvents() = default;
    virtual void Send(Outgoing outgoing) = 0;
    // From now on only random bytes go out, once what is queued has gone.
    virtual void StartGarbage() = 0;
    // Close the line once what is queued has gone, and end.
    virtual void HangUp() = 0;
};

class Loader {
public:
    Loader(const Options& options, LoaderEvents& events);

    // Bytes the loader needs before it acts next (the rest of a frame, or up to the point of
    // a hang-up in the middle of a block frame). Never 0.
    std::size_t Wanted() const;

    // Takes bytes from the host; lastArrivalNs is when the last of them arrived.
    void Feed(const std::uint8_t* data, std::size_t count, std::int64_t lastArrivalNs);

    // When the loader next acts on its own: a wake-up frame found alone, or a frame left
    // incomplete.
    std::optional<std::int64_t> DeadlineNs() const;
    void OnDeadline(std::int64_t nowNs);

    // Prints the verdict of the dialogue in progress, if it has begun; a frame cut off is a
    // violation unless the line was hung up on purpose.
    void Finish();

    int CompletedDialogues() const { return completed_; }
    bool AnyViolation() const { return anyViolation_; }

private:
    enum class State {
        Asleep, // waiting for a wake-up frame
        Awake,  // the wake-up was answered: stage 2 comes next
        Stage3, // stage 2 and the device information were answered
        First,  // stage 3 was answered: the first block comes next
        Loop,   // the first block was acknowledged: blocks of the loop, then the end
    };

    enum class Receiving { Control, FirstBlock, Block, Unexpected };

    struct Dialogue {
        bool begun = false;
        int violations = 0;
        std::string firstViolation;
        int blocks = 0;              // block frames received intact, the first one included
        int loopBlocks = 0;          // of them in the block loop
        bool lastBlockShort = false; // the last block of the loop carried fewer than 4080 bytes
        int wakeFrames = 0;
        int leadingFrames = 0; // of 0x0000, 0x0001, 0x0001 before the first block
        std::vector<std::uint8_t> image;
    };

    void TakeControl(std::int64_t atNs);
    void TakeBlockFrame(std::int64_t atNs);
    void Dispatch(std::uint16_t code, std::uint16_t length, std::int64_t atNs);
    void Announce(std::uint16_t length);
    void Resynchronise();

    void WakeFrame(std::int64_t atNs);
    void LoneWakeFrame(std::int64_t atNs);
    void Stage2(std::int64_t atNs);
    void Stage3Frame(std::int64_t atNs);
    void LeadingFrame(std::uint16_t code);
    void EndFrame(std::int64_t atNs);
    void FirstBlockFrame(std::int64_t atNs);
    void LoopBlockFrame(std::int64_t atNs);

    // Sends the answer of step with its fault; true when the host gets the right answer.
    bool Answer(Step step, std::uint16_t code, std::int64_t atNs, int block = 0);
    bool AnswerStage2(std::int64_t atNs);
    void SendInfo(std::int64_t atNs);
    // Applies fault to the answer out (of reply code, at step); false when nothing goes out.
    bool Spoil(const Fault& fault, Step step, std::uint16_t code, Outgoing& out);
    const Fault* ActiveFault(Step step, int block) const;
    std::int64_t AnswerAtNs(std::int64_t atNs) const;
    void HangUpIn(Step step);

    void Violation(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Verdict(bool completed);
    void NewDialogue();
    void WriteImage() const;
    Step CurrentStep() const;
    const char* FrameName() const;

    const Options& options_;
    LoaderEvents& events_;
    State state_ = State::Asleep;
    Dialogue dialogue_;
    int dialogueNumber_ = 1;
    int completed_ = 0;
    int verdicts_ = 0;
    bool anyViolation_ = false;
    bool hungUp_ = false;
    bool garbage_ = false;
    std::optional<Step> hangUpStep_;

    Receiving receiving_ = Receiving::Control;
    std::vector<std::uint8_t> frame_;
    std::size_t frameSize_ = 0; // bytes of the frame being received
    std::size_t hangUpAt_ = 0;  // hang up once this many bytes of the frame are in; 0: no
    bool afterBlockFrame_ = false;
    bool resynchronising_ = false;
    std::int64_t lastByteNs_ = 0;

    std::optional<std::int64_t> pendingWakeNs_; // a wake-up frame that may open stage 2
};

} // namespace sim
