// Every step of the dialogue against every way a receiver or a cable can misbehave: each run ends
// with the message of its step, nothing more goes out after a failure, and a completed run
// delivered the image byte for byte.
//
// With BRISKO_FAULT_TIMES=<file> the runs use the real clock and append one line per case to
// <file> (case, outcome, seconds): scripts/reliability.sh builds docs/reliability.md from it.
#include "upload_fixture.h"

#include "temp_file.h"

#include <algorithm>
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
            out << label << '\t' << (log.empty() ? "" : log.back()) << '\t' << took.count() << '\n';
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
    // One byte too many after a good answer shifts the next answer read, unless a purge comes
    // between (the wake-up's) or the next answer is not examined (the end's).
    all.push_back(F("wake:extra-byte", {"--fault", "wake:extra-byte"}, 2, kDone));
    // After stage 2 the stray byte lands in the device information, which is not judged.
    all.push_back(F("stage2:extra-byte", {"--fault", "stage2:extra-byte"}, 2, kDone));
    all.push_back(F("stage3:extra-byte", {"--fault", "stage3:extra-byte"}, 0, kFirst));
    all.push_back(F("first:extra-byte", {"--fault", "first:extra-byte"}, 0, kBlock));
    all.push_back(F("block1:extra-byte", {"--fault", "block1:extra-byte"}, 1, kBlock));
    all.push_back(F("block2:extra-byte", {"--fault", "block2:extra-byte"}, 2, kDone));
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

// The other end goes away in the middle of a block, as an unplugged adapter does.
TEST_F(TimedFixture, ALineThatGoesAwayMidBlockEndsTheRunAndTheNextPressFindsThePortOpen) {
    StartSim({"--fault", "block1:hangup"});
    const std::string image = MakeImage(kImageSize);
    EXPECT_EQ(TimedUpload(image, "block1:hangup"), Established(0, kBlock));
    EXPECT_EQ(LinesStarting(StopSim(), "HANGUP").size(), 1u);

    // The port is still open, so the next press neither reconnects nor shows a box: it tries
    // to wake a receiver that is no longer there.
    ASSERT_TRUE(Serial.IsOpen());
    EXPECT_EQ(TimedUpload(image, "block1:hangup, next press"),
              (Lines{"Please turn ON the IRD", kWake}));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(Serial.IsOpen());
}

} // namespace
