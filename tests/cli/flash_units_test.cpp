// The pieces of brisko-k71-flash that need no receiver: the ranking of results, the block count,
// the reading of a run's log, and the worker's events through the pipe format.
#include "events.h"
#include "outcome.h"
#include "port_run.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FlashOutcome, TheWorstResultWins) {
    EXPECT_EQ(Worst({}), Outcome::Done);
    EXPECT_EQ(Worst({Outcome::Done, Outcome::PortError, Outcome::NoAnswer}), Outcome::NoAnswer);
    EXPECT_EQ(Worst({Outcome::BadImage, Outcome::PortError}), Outcome::PortError);
    EXPECT_EQ(Worst({Outcome::NoAnswer, Outcome::CommunicationError}), Outcome::CommunicationError);
    EXPECT_EQ(Worst({Outcome::CommunicationError, Outcome::Interrupted, Outcome::Lost}),
              Outcome::Interrupted);
}

TEST(FlashOutcome, EveryOutcomeHasItsOwnExitStatus) {
    std::set<int> seen;
    for (Outcome o : WorstFirst())
        EXPECT_TRUE(seen.insert(ExitStatus(o)).second) << OutcomeName(o);
    EXPECT_EQ(seen.count(exit_status::kUsage), 0u);
    EXPECT_EQ(ExitStatus(Outcome::Done), 0);
}

TEST(FlashOutcome, ALogReadsAsItsOutcome) {
    using L = std::vector<std::string>;
    EXPECT_EQ(ClassifyRun({"Please turn ON the IRD", "Communication established", "Done."}, {}),
              Outcome::Done);
    EXPECT_EQ(ClassifyRun({"Please turn ON the IRD", "Communication Error"}, {}),
              Outcome::NoAnswer);
    for (const char* step :
         {"Communication error 1.", "Communication error 4.", "File read error."})
        EXPECT_EQ(ClassifyRun({"Please turn ON the IRD", "Communication established", step}, {}),
                  Outcome::CommunicationError)
            << step;
    // A failure line this program does not know yet is still a failure after the wake-up.
    EXPECT_EQ(ClassifyRun({"Please turn ON the IRD", "Communication established", "Block 3",
                           "Some new failure."},
                          {}),
              Outcome::CommunicationError);
    EXPECT_EQ(ClassifyRun({"Cannot open file."}, {}), Outcome::BadImage);
    EXPECT_EQ(ClassifyRun({"File size error."}, {}), Outcome::BadImage);
    EXPECT_EQ(ClassifyRun(L{}, {"Could not create handle", "Port Error."}), Outcome::PortError);
    EXPECT_EQ(ClassifyRun(L{}, {}), Outcome::Lost);
}

TEST(FlashBlocks, BlockFramesFollowTheImageSize) {
    EXPECT_EQ(BlockFramesFor(0), 1);
    EXPECT_EQ(BlockFramesFor(4080), 1);
    EXPECT_EQ(BlockFramesFor(4081), 2);
    EXPECT_EQ(BlockFramesFor(8160), 2);
    EXPECT_EQ(BlockFramesFor(8161), 3);
    EXPECT_EQ(BlockFramesFor(2465791), 605);
}

TEST(FlashBlocks, ProgressLinesCountAcknowledgedBlockFrames) {
    PortRun run({"COM1", 0, "/dev/null"}, 3 * 4080, FlashClock::now());
    auto line = [&](const std::string& text) {
        WorkerEvent e;
        e.text = text;
        run.Apply(e, FlashClock::now());
    };
    line("Please turn ON the IRD");
    EXPECT_TRUE(run.Waking());
    line("Communication established");
    EXPECT_EQ(run.BlocksAcknowledged(), 0);
    line("Block 1"); // after the second block frame
    EXPECT_EQ(run.BlocksAcknowledged(), 2);
    EXPECT_EQ(run.BytesAcknowledged(), 2 * 4080);
    line("Block 2");
    line("Done.");
    WorkerEvent end;
    end.kind = WorkerEvent::Kind::End;
    run.Apply(end, FlashClock::now());
    run.Finish(FlashClock::now());
    EXPECT_EQ(run.Result(), Outcome::Done);
    EXPECT_EQ(run.BlocksAcknowledged(), 3);
}

TEST(FlashEvents, EveryEventSurvivesThePipe) {
    WorkerEvent line;
    line.text = "Block 7";
    WorkerEvent box;
    box.kind = WorkerEvent::Kind::Box;
    box.text = "Could not create handle";
    WorkerEvent wake;
    wake.kind = WorkerEvent::Kind::Wake;
    wake.wakeAttempt = 11;
    WorkerEvent end;
    end.kind = WorkerEvent::Kind::End;
    end.stopped = true;
    end.bytesOut = 2469000;
    end.bytesIn = 7300;
    end.lineSeconds = 214.5;
    for (const WorkerEvent& e : {line, box, wake, end}) {
        const std::string encoded = EncodeEvent(e);
        EXPECT_EQ(encoded.find('\n'), std::string::npos);
        const auto back = DecodeEvent(encoded);
        ASSERT_TRUE(back) << encoded;
        EXPECT_EQ(back->kind, e.kind);
        EXPECT_EQ(back->text, e.text);
        EXPECT_EQ(back->wakeAttempt, e.wakeAttempt);
        EXPECT_EQ(back->stopped, e.stopped);
        EXPECT_EQ(back->bytesOut, e.bytesOut);
        EXPECT_EQ(back->bytesIn, e.bytesIn);
        EXPECT_DOUBLE_EQ(back->lineSeconds, e.lineSeconds);
    }
    EXPECT_FALSE(DecodeEvent("{\"e\":\"line\""));
    EXPECT_FALSE(DecodeEvent("{\"e\":\"nonsense\"}"));
}

} // namespace
