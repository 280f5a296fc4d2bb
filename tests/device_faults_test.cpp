// Every step of the dialogue against every way a receiver or a cable can misbehave: each run ends
// with the message of its step, nothing more goes out after a failure, and a completed run
// delivered the image byte for byte.
//
// With BRISKO_FAULT_TIMES=<file> the runs use the real clock and append one line per case to
// <file> (case, outcome, seconds): scripts/reliability.sh builds docs/reliability.md from it.
#include "upload_fixture.h"

#include "temp_file.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Lines = std::vector<std::string>;

constexpr std::size_t kImageSize = 3 * 4080; // the first block frame and two blocks of the loop

const char* const kWake = "Communication Error";
const char* const kStage2 = "Communication error 1.";
const char* const kStage3 = "Communication error 2.";
const char* const kFirst = "Communication error 3.";
const char* const kBlock = "Communication error 4.";
const char* const kDone = "Done.";

struct Fault {
    std::string name;
    std::vector<std::string> options; // of the simulator
    int progress;                     // "Block n" lines before the last line
    const char* last;                 // the last line of the log
};

std::ostream& operator<<(std::ostream& out, const Fault& f) {
    return out << f.name;
}

// Real clock and a timing line per case when BRISKO_FAULT_TIMES names a file.
const char* TimesFile() {
    return std::getenv("BRISKO_FAULT_TIMES");
}

class TimedFixture : public UploadFixture {
protected:
    void SetUp() override {
        UploadFixture::SetUp();
        if (TimesFile() != nullptr)
            clock.reset(); // the protocol's own time limits
    }

    // Runs one upload and records how long it took when asked to.
    Lines TimedUpload(const std::string& image, const std::string& label) {
        const auto start = std::chrono::steady_clock::now();
        Lines log = Upload(image);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (const char* file = TimesFile()) {
            std::ofstream out(file, std::ios::app);
            // A run that ends in an error box leaves the log empty: the box's text stands there.
            const std::string last = !log.empty()          ? log.back()
                                     : !host.boxes.empty() ? host.boxes.back()
                                                           : "";
            out << label << '\t' << last << '\t' << took.count() << '\n';
        }
        return log;
    }
};

class DeviceFaults : public TimedFixture, public testing::WithParamInterface<Fault> {};

TEST_P(DeviceFaults, EndWithTheStepsMessageAndSendNothingMore) {
    const Fault& fault = GetParam();
    std::vector<std::string> options = fault.options;
    options.insert(options.end(), {"--fault-dialogues", "1"});
    StartSim(options);
    const std::string image = MakeImage(kImageSize);

    const Lines log = TimedUpload(image, fault.name);
    const std::string last = fault.last;
    const bool wakeFailed = last == kWake;
    const Lines expected =
        wakeFailed ? Lines{"Please turn ON the IRD", kWake} : Established(fault.progress, last);
    EXPECT_EQ(log, expected);

    const Lines sim = StopSim();
    const Lines codes = ControlCodes(sim);
    // A receiver sending noise loses track of the dialogue, so it may see the host go on.
    if (fault.name.find("garbage") == std::string::npos) {
        EXPECT_TRUE(LinesStarting(sim, "VIOLATION").empty()) << testing::PrintToString(sim);
    }
    if (last == kDone) {
        // The receiver got every frame intact and the image byte for byte.
        EXPECT_EQ(LinesStarting(sim, "VERDICT OK").size(), 1u) << testing::PrintToString(sim);
        EXPECT_TRUE(ReadWholeFile(SimImagePath()) == ReadWholeFile(image));
        return;
    }
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "0x0013"), 0) << "no end frame after failing";
    if (wakeFailed) {
        if (fault.name.find("garbage") == std::string::npos) {
            EXPECT_EQ(codes, Lines(11, "0x0012"));
        } else {
            // Noise completes each read at once, and the purge before the next attempt aborts
            // a wake-up frame still on its way, as it does on a real line.
            EXPECT_LE(codes.size(), 11u);
            EXPECT_EQ(codes, Lines(codes.size(), "0x0012"));
        }
        return;
    }
    // Nothing went out after the frame whose answer failed.
    const Lines rx = LinesStarting(sim, "RX");
    ASSERT_FALSE(rx.empty());
    if (last == kStage2)
        EXPECT_EQ(rx.back(), "RX ctrl code=0x0028 len=0");
    else if (last == kStage3)
        EXPECT_EQ(rx.back(), "RX ctrl code=0x0000 len=0");
    else if (last == kFirst)
        EXPECT_EQ(rx.back().rfind("RX first-block", 0), 0u) << rx.back();
    else
        EXPECT_EQ(rx.back().rfind("RX block n=" + std::to_string(fault.progress + 1), 0), 0u)
            << rx.back();
}

Fault F(std::string name, std::vector<std::string> options, int progress, const char* last) {
    return Fault{name, std::move(options), progress, last};
}

std::vector<Fault> AllFaults() {
    std::vector<Fault> all;
    struct Step {
        const char* name;
        int progress;      // "Block n" lines written before the step
        const char* fails; // its message
    };
    const Step steps[] = {{"wake", 0, kWake},   {"stage2", 0, kStage2}, {"stage3", 0, kStage3},
                          {"first", 0, kFirst}, {"block1", 0, kBlock},  {"block2", 1, kBlock},
                          {"end", 2, kDone}};
    const char* failing[] = {"silent", "wrong-code", "nonzero-length", "short", "garbage"};
    for (const Step& step : steps) {
        for (const char* kind : failing) {
            const std::string fault = std::string(step.name) + ":" + kind;
            all.push_back(F(fault, {"--fault", fault}, step.progress, step.fails));
        }
    }
    // The right frame after the time limit: the step has failed by then. At the wake-up the
    // late answer lands in the next attempt's read and is taken there.
    all.push_back(F("wake:late", {"--fault", "wake:late"}, 2, kDone));
    all.push_back(F("stage2:late", {"--fault", "stage2:late"}, 0, kStage2));
    all.push_back(F("stage3:late", {"--fault", "stage3:late"}, 0, kStage3));
    all.push_back(F("first:late", {"--fault", "first:late"}, 0, kFirst));
    all.push_back(F("block1:late", {"--fault", "block1:late"}, 0, kBlock));
    all.push_back(F("block2:late", {"--fault", "block2:late"}, 1, kBlock));
    all.push_back(F("end:late", {"--fault", "end:late"}, 2, kDone));
    // One byte too many after a good answer would shift the next answer read: the input is
    // purged before each block goes out, and at the wake-up before each attempt. After stage 2
    // the stray byte lands in the device information, which is not judged; the end's answer is
    // not examined.
    all.push_back(F("wake:extra-byte", {"--fault", "wake:extra-byte"}, 2, kDone));
    all.push_back(F("stage2:extra-byte", {"--fault", "stage2:extra-byte"}, 2, kDone));
    all.push_back(F("stage3:extra-byte", {"--fault", "stage3:extra-byte"}, 2, kDone));
    all.push_back(F("first:extra-byte", {"--fault", "first:extra-byte"}, 2, kDone));
    all.push_back(F("block1:extra-byte", {"--fault", "block1:extra-byte"}, 2, kDone));
    all.push_back(F("block2:extra-byte", {"--fault", "block2:extra-byte"}, 2, kDone));
    // An answer sent twice: the copy is purged like a stray byte. After stage 2 it stands where
    // the device information should, so stage 3 reads the information instead of its answer.
    all.push_back(F("wake:twice", {"--fault", "wake:twice"}, 2, kDone));
    all.push_back(F("stage2:twice", {"--fault", "stage2:twice"}, 0, kStage3));
    all.push_back(F("stage3:twice", {"--fault", "stage3:twice"}, 2, kDone));
    all.push_back(F("first:twice", {"--fault", "first:twice"}, 2, kDone));
    all.push_back(F("block1:twice", {"--fault", "block1:twice"}, 2, kDone));
    all.push_back(F("block2:twice", {"--fault", "block2:twice"}, 2, kDone));
    all.push_back(F("end:twice", {"--fault", "end:twice"}, 2, kDone));
    // The device information is never judged: whatever it holds, stage 3 follows.
    all.push_back(F("info:silent", {"--fault", "info:silent"}, 2, kDone));
    all.push_back(F("info:short", {"--fault", "info:short"}, 2, kDone));
    all.push_back(F("info:garbage", {"--fault", "info:garbage"}, 0, kStage3));
    for (const char* length : {"0", "1024", "1025", "65535"}) {
        for (const char* bytes : {"all", "part", "none"}) {
            const std::string name = std::string("info:") + length + "-" + bytes;
            all.push_back(F(name, {"--info-length", length, "--info-bytes", bytes}, 2, kDone));
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Matrix, DeviceFaults, testing::ValuesIn(AllFaults()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) { return c == ':' || c == '-'; }, '_');
                             return name;
                         });

// A stale answer must never pass for the acknowledgement of the next block: the receiver answers
// one frame twice and then refuses the block after it. The image has the first block frame and
// three blocks of the loop.
struct StaleAnswer {
    std::string name;
    std::vector<std::string> options;
    int progress;
    const char* last;
};

std::ostream& operator<<(std::ostream& out, const StaleAnswer& s) {
    return out << s.name;
}

class StaleAnswers : public TimedFixture, public testing::WithParamInterface<StaleAnswer> {};

TEST_P(StaleAnswers, AreNeverTakenForTheNextBlocksAcknowledgement) {
    StartSim(GetParam().options);
    const std::string image = MakeImage(4 * 4080);
    EXPECT_EQ(TimedUpload(image, GetParam().name),
              Established(GetParam().progress, GetParam().last));
    const Lines sim = StopSim();
    EXPECT_TRUE(LinesStarting(sim, "VIOLATION").empty()) << testing::PrintToString(sim);
    const Lines codes = ControlCodes(sim);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "0x0013"), 0) << "no end frame after failing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StaleAnswers,
    testing::Values(StaleAnswer{"first:twice, block1:silent",
                                {"--fault", "first:twice", "--fault", "block1:silent"},
                                0,
                                kBlock},
                    StaleAnswer{"block1:twice, block2:silent",
                                {"--fault", "block1:twice", "--fault", "block2:silent"},
                                1,
                                kBlock},
                    StaleAnswer{"block2:twice, block3:silent",
                                {"--fault", "block2:twice", "--fault", "block3:silent"},
                                2,
                                kBlock},
                    StaleAnswer{"block2:twice, block3:wrong-code",
                                {"--fault", "block2:twice", "--fault", "block3:wrong-code"},
                                2,
                                kBlock},
                    StaleAnswer{"stage3:twice, first:silent",
                                {"--fault", "stage3:twice", "--fault", "first:silent"},
                                0,
                                kFirst}),
    [](const auto& info) {
        std::string name;
        for (char c : info.param.name) {
            if (std::isalnum(static_cast<unsigned char>(c)))
                name += c;
            else if (c == ',')
                name += "_then_";
        }
        return name;
    });

// The other end goes away in the middle of a block, as an unplugged adapter does. The run ends
// with its step's message and the port is closed, so the adapter plugged in again under the same
// name is used by the next press without a restart of the program.
TEST_F(TimedFixture, ALineThatGoesAwayIsClosedAndTheNextPressConnectsAfresh) {
    StartSim({"--fault", "block1:hangup"});
    const std::string image = MakeImage(kImageSize);
    EXPECT_EQ(TimedUpload(image, "block1:hangup"), Established(0, kBlock));
    EXPECT_EQ(LinesStarting(StopSim(), "HANGUP").size(), 1u);
    EXPECT_FALSE(Serial.IsOpen()) << "a port whose device is gone is closed";

    // Still unplugged: the press cannot open the port.
    ports.Link("COM3", ports.Root() + "/unplugged");
    EXPECT_TRUE(TimedUpload(image, "block1:hangup, press while unplugged").empty());
    EXPECT_EQ(host.boxes, (Lines{"Could not create handle", "Port Error."}));

    // Plugged in again under the same name: the next press connects and completes.
    host.boxes.clear();
    StartSim();
    EXPECT_EQ(TimedUpload(image, "block1:hangup, press after plugging in again"),
              Established(2, kDone));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(Serial.IsOpen());
    EXPECT_EQ(LinesStarting(StopSim(), "VERDICT OK").size(), 1u);
}

// The line goes away right after the last acknowledgement: the end frame cannot go out, and the
// run must not end in "Done.".
TEST_F(TimedFixture, AnEndFrameThatCannotBeWrittenIsNoSuccess) {
    StartSim({"--fault", "block2:hangup-after"});
    host.onProcessMessages = [this] {
        if (host.processed == 2) // after "Block 2": wait until the receiver's end has closed
            sim->WaitForLine("VERDICT", 10'000);
    };
    EXPECT_EQ(TimedUpload(MakeImage(kImageSize), "block2:hangup-after"),
              Established(2, "Communication error 5."));
    const Lines sim = StopSim();
    EXPECT_EQ(LinesStarting(sim, "HANGUP").size(), 1u);
    EXPECT_EQ(LinesStarting(sim, "RX ctrl code=0x0013").size(), 0u);
    EXPECT_FALSE(Serial.IsOpen()) << "a port whose device is gone is closed";
}

} // namespace
