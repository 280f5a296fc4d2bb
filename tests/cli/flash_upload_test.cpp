// Whole uploads through the built brisko-k71-flash: one receiver, four at once, and four where
// one receiver misbehaves while the others finish.
#include "flash_fixture.h"

#include <nlohmann/json.hpp>

namespace {

using Lines = std::vector<std::string>;

constexpr std::size_t kImageSize = 6 * 4080 + 17; // the first block frame and six of the loop
constexpr int kProgressLines = 6;

using FlashUploadTest = FlashFixture;

TEST_F(FlashUploadTest, OnePortPrintsTheLogAndDeliversTheImage) {
    StartSim("COM3");
    const std::string image = MakeImage(kImageSize);

    const FlashResult run = RunFlash({image}); // COM3 when no port is given

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.lines, EstablishedLog(kProgressLines, "Done."));
    ExpectReceived("COM3", image);
}

TEST_F(FlashUploadTest, ASmallImageGoesOutInTheFirstBlockFrameAlone) {
    StartSim("COM1");
    const std::string image = MakeImage(100);

    const FlashResult run = RunFlash({"-p", "COM1", image});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.lines, EstablishedLog(0, "Done."));
    ExpectReceived("COM1", image);
}

TEST_F(FlashUploadTest, FourPortsAtOnceEachReceiveTheImage) {
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"})
        StartSim(port);
    const std::string image = MakeImage(kImageSize);
    // The fourth by its device path, as a USB adapter would be named.
    const std::string device = sims.at("COM4")->SlavePath();

    const FlashResult run =
        RunFlash({"-p", "COM1", "-p", "COM2", "-p", "COM3", "-p", device, image});

    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& port :
         {std::string("COM1"), std::string("COM2"), std::string("COM3"), device}) {
        EXPECT_EQ(Starting(run.lines, port + ": "),
                  EstablishedLog(kProgressLines, "Done.", port + ": "));
        // Its row in the summary table.
        const Lines row = Starting(run.lines, port + " ");
        ASSERT_EQ(row.size(), 1u) << run.out;
        EXPECT_NE(row[0].find("Done."), std::string::npos) << row[0];
        EXPECT_NE(row[0].find("7/7"), std::string::npos) << row[0];
    }
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"})
        ExpectReceived(port, image);
}

// Drops the carriage returns that a terminal adds before each newline.
std::string WithoutReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

TEST_F(FlashUploadTest, OnATerminalEachPortHasALiveLine) {
    StartSim("COM1");
    StartSim("COM2");
    const std::string image = MakeImage(kImageSize);

    const FlashResult run = RunFlash({"-p", "COM1", "-p", "COM2", image}, 60'000,
                                     {.terminal = true, .env = {"TERM=xterm"}});

    EXPECT_EQ(run.status, 0) << run.err;
    const std::string out = WithoutReturns(run.out);
    // Redrawn in place: up over the live lines, each cleared before it is written again.
    EXPECT_NE(out.find("\x1b[1A"), std::string::npos);
    EXPECT_NE(out.find("\x1b[2KCOM1  block 7 of 7  [####################]"), std::string::npos);
    EXPECT_NE(out.find("\x1b[2KCOM2  Done.  ("), std::string::npos);
    // The blocks show in the live lines only; the other log lines scroll above them.
    EXPECT_EQ(out.find("COM1: Block 1"), std::string::npos);
    EXPECT_NE(out.find("COM1: Communication established\n"), std::string::npos);
    EXPECT_NE(out.find("COM2: Done.\n"), std::string::npos);
}

TEST_F(FlashUploadTest, ADumbTerminalGetsPlainLines) {
    StartSim("COM1");
    const std::string image = MakeImage(kImageSize);

    const FlashResult run =
        RunFlash({"-p", "COM1", image}, 60'000, {.terminal = true, .env = {"TERM=dumb"}});

    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected;
    for (const std::string& line : EstablishedLog(kProgressLines, "Done."))
        expected += line + "\n";
    EXPECT_EQ(WithoutReturns(run.out), expected);
}

struct Fault {
    std::string name;
    std::vector<std::string> sim; // options of the faulty receiver
    std::string last;             // its last log line
    int status;                   // the program's exit status
    int progress;                 // its "Block n" lines
};

std::ostream& operator<<(std::ostream& out, const Fault& f) {
    return out << f.name;
}

class OneOfFourFaulty : public FlashFixture, public testing::WithParamInterface<Fault> {};

TEST_P(OneOfFourFaulty, TheOthersFinishAndTheWorstResultSetsTheStatus) {
    const Fault& fault = GetParam();
    for (const char* port : {"COM1", "COM3", "COM4"})
        StartSim(port);
    StartSim("COM2", fault.sim);
    const std::string image = MakeImage(kImageSize);

    const FlashResult run =
        RunFlash({"--json", "-p", "COM1", "-p", "COM2", "-p", "COM3", "-p", "COM4", image});

    EXPECT_EQ(run.status, fault.status) << run.err;
    ASSERT_EQ(run.lines.size(), 4u) << run.out;
    for (const std::string& line : run.lines) {
        const auto j = nlohmann::json::parse(line);
        const std::string port = j.at("port");
        if (port == "COM2") {
            EXPECT_EQ(j.at("exit_status"), fault.status);
            EXPECT_EQ(j.at("message"), fault.last);
            if (fault.status == 5) {
                EXPECT_EQ(j.at("log"), Lines({"Please turn ON the IRD", fault.last}));
                EXPECT_EQ(j.at("wake_attempts"), 11);
            } else {
                EXPECT_EQ(j.at("wake_attempts"), 1);
                EXPECT_EQ(j.at("log"), EstablishedLog(fault.progress, fault.last));
            }
        } else {
            EXPECT_EQ(j.at("result"), "done") << port;
            EXPECT_EQ(j.at("log"), EstablishedLog(kProgressLines, "Done.")) << port;
        }
    }
    for (const char* port : {"COM1", "COM3", "COM4"})
        ExpectReceived(port, image);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OneOfFourFaulty,
    testing::Values(
        // Answers every wake-up frame, always with the wrong code: the eleven attempts go fast.
        Fault{"WrongWakeUpCode", {"--fault", "wake:wrong-code"}, "Communication Error", 5, 0},
        Fault{"GarbageFromTheStart", {"--fault", "wake:garbage"}, "Communication Error", 5, 0},
        Fault{
            "WrongCodeAtStage2", {"--fault", "stage2:wrong-code"}, "Communication error 1.", 1, 0},
        Fault{
            "SilentAtTheThirdBlock", {"--fault", "block3:silent"}, "Communication error 4.", 1, 2},
        // Unplugged in the middle of a block frame.
        Fault{"HangUpMidBlock", {"--fault", "block2:hangup"}, "Communication error 4.", 1, 1}),
    [](const testing::TestParamInfo<Fault>& info) { return info.param.name; });

} // namespace
