// Whole uploads over a pseudo-terminal against the simulated receiver.
#include "upload_fixture.h"

#include "fake_platform.h"
#include "temp_file.h"

#include <algorithm>
#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

// ---- Completed uploads and the block accounting ----

struct Accounting {
    std::size_t size;
    int blockFrames; // the first block frame included
};

class BlockAccounting : public UploadFixture, public testing::WithParamInterface<Accounting> {};

TEST_P(BlockAccounting, SendsTheImageInItsBlocksAndTheReceiverGetsItByteForByte) {
    const auto [size, blockFrames] = GetParam();
    StartSim();
    const std::string image = MakeImage(size);

    EXPECT_EQ(Upload(image), Established(blockFrames - 1, "Done."));
    const Lines sim = StopSim();
    EXPECT_EQ(LinesStarting(sim, "RX first-block").size(), 1u);
    EXPECT_EQ(LinesStarting(sim, "RX block").size(), static_cast<std::size_t>(blockFrames - 1));
    EXPECT_TRUE(LinesStarting(sim, "VIOLATION").empty());
    ASSERT_EQ(LinesStarting(sim, "VERDICT OK").size(), 1u) << testing::PrintToString(sim);
    EXPECT_EQ(host.processed, blockFrames - 1);
    EXPECT_EQ(imagePath, image);

    // The first block frame always carries 4080 data bytes: erased flash after a short image.
    std::vector<std::uint8_t> expected = ReadWholeFile(image);
    if (expected.size() < 4080)
        expected.resize(4080, 0xFF);
    EXPECT_TRUE(ReadWholeFile(SimImagePath()) == expected) << "the received image differs";
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockAccounting,
                         testing::Values(Accounting{0, 1}, Accounting{1, 1}, Accounting{4079, 1},
                                         Accounting{4080, 1}, Accounting{4081, 2},
                                         Accounting{8160, 2}, Accounting{8161, 3},
                                         Accounting{2465791, 605}),
                         [](const auto& info) { return std::to_string(info.param.size); });

TEST_F(UploadFixture, TheWholeDialogueGoesOutInOrder) {
    StartSim();
    EXPECT_EQ(Upload(MakeImage(4081)).back(), "Done.");
    EXPECT_EQ(ControlCodes(StopSim()), (Lines{"0x0012", "0x0012", "0x0028", "0x0000", "0x0000",
                                              "0x0001", "0x0001", "0x0030", "0x0030", "0x0013"}));
}

// A window paints its new lines when the upload tells it that it waits for the receiver: that
// must come after the frames that follow a line have been written (painting then costs no time
// on the line) and before the reply is read (the line is on the screen while the upload waits).
TEST_F(UploadFixture, TheHostHearsOfEveryWaitOnceItsFramesAreOnTheWay) {
    StartSim();
    const std::string image = MakeImage(3 * 4080); // the first block frame and two of the loop
    Lines events;
    auto& write = Platform().WriteFile;
    write = [&events, system = write](HANDLE h, const void* buffer, DWORD count, DWORD* written,
                                      void* overlapped) {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        char code[16];
        std::snprintf(code, sizeof code, "0x%02x%02x", bytes[8], bytes[9]);
        events.push_back(count == 12 ? std::string("write ") + code : "write block");
        return system(h, buffer, count, written, overlapped);
    };
    host.onAwaitingReply = [&] { events.push_back("await"); };
    host.onProcessMessages = [&] { events.push_back("process"); };

    ASSERT_EQ(Upload(image), Established(2, "Done."));
    // Each "Block n" line comes right before its message processing.
    EXPECT_EQ(events, (Lines{"write 0x0012", "await",                 // wake-up
                             "write 0x0012", "write 0x0028", "await", // stage 2
                             "write 0x0000", "await",                 // stage 3
                             "write 0x0000", "write 0x0001", "write 0x0001", "write 0x0030",
                             "write block",  "await", // first block
                             "write 0x0030", "write block",  "await",        "process", // block 1
                             "write 0x0030", "write block",  "await",        "process", // block 2
                             "write 0x0013", "await"}));                                // end
}

TEST_F(UploadFixture, ImagesOfTheLimitAndAboveAreRefusedAndNothingIsSent) {
    StartSim();
    EXPECT_EQ(Upload(MakeImage(2465792)), Lines{"File size error."});
    // A sparse file of 4 GiB and 100 bytes: 32 bits of its size would read as 100.
    const std::string huge = ports.PortsDir() + "/../huge.bin";
    const int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (off_t{1} << 32) + 100), 0);
    close(fd);
    EXPECT_EQ(Upload(huge), Lines{"File size error."});
    EXPECT_TRUE(LinesStarting(StopSim(), "RX").empty());
}

// ---- The wake-up ----

struct Wake {
    const char* answered; // --answer-wake
    std::size_t wakeFrames;
    bool established;
};

class WakeUp : public UploadFixture, public testing::WithParamInterface<Wake> {};

TEST_P(WakeUp, RetriesUntilAnswerButComparesOnlyTenReplies) {
    StartSim({"--answer-wake", GetParam().answered});
    const Lines log = Upload(MakeImage(100));
    const Lines codes = ControlCodes(StopSim());

    if (GetParam().established) {
        EXPECT_EQ(log, Established(0, "Done."));
        // The wake-up frames, then stage 2's own 0x0012.
        ASSERT_GT(codes.size(), GetParam().wakeFrames + 1);
        EXPECT_EQ(Lines(codes.begin(), codes.begin() + GetParam().wakeFrames + 2), [&] {
            Lines wake(GetParam().wakeFrames + 1, "0x0012");
            wake.push_back("0x0028");
            return wake;
        }());
    } else {
        EXPECT_EQ(log, (Lines{"Please turn ON the IRD", "Communication Error"}));
        EXPECT_EQ(codes, Lines(GetParam().wakeFrames, "0x0012")) << "and nothing after them";
    }
}

INSTANTIATE_TEST_SUITE_P(Attempts, WakeUp,
                         testing::Values(Wake{"1", 1, true}, Wake{"10", 10, true},
                                         Wake{"11", 11, false}),
                         [](const auto& info) {
                             return std::string("AnsweredAt") + info.param.answered;
                         });

TEST_F(UploadFixture, ASilentReceiverGetsElevenWakeUpFramesThenCommunicationError) {
    StartSim({"--silent"});
    EXPECT_EQ(Upload(MakeImage(100)), (Lines{"Please turn ON the IRD", "Communication Error"}));
    EXPECT_EQ(ControlCodes(StopSim()), Lines(11, "0x0012"));
    EXPECT_TRUE(Serial.IsOpen()) << "a silent receiver is no device gone away";
}

// ---- Failures after the wake-up ----

struct StepFault {
    const char* fault; // --fault STEP:KIND
    Lines progress;    // lines between "Communication established" and the message
    const char* message;
};

class StepFails : public UploadFixture, public testing::WithParamInterface<StepFault> {};

TEST_P(StepFails, WithItsMessageAndNothingMoreIsSent) {
    StartSim({"--fault", GetParam().fault});
    const Lines log = Upload(MakeImage(3 * 4080));

    Lines expected = {"Please turn ON the IRD", "Communication established"};
    expected.insert(expected.end(), GetParam().progress.begin(), GetParam().progress.end());
    expected.push_back(GetParam().message);
    EXPECT_EQ(log, expected);

    const Lines sim = StopSim();
    const Lines codes = ControlCodes(sim);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "0x0013"), 0);
    ASSERT_FALSE(LinesStarting(sim, "RX").empty());
    // The frame answered wrongly is the last the receiver got.
    const std::string lastRx = LinesStarting(sim, "RX").back();
    const std::string fault = GetParam().fault;
    if (fault.rfind("stage2", 0) == 0)
        EXPECT_EQ(lastRx, "RX ctrl code=0x0028 len=0");
    else if (fault.rfind("stage3", 0) == 0)
        EXPECT_EQ(lastRx, "RX ctrl code=0x0000 len=0");
    else if (fault.rfind("first", 0) == 0)
        EXPECT_EQ(lastRx.rfind("RX first-block", 0), 0u) << lastRx;
    else
        EXPECT_EQ(lastRx.rfind("RX block n=2", 0), 0u) << lastRx;
}

const Lines kNone;
const Lines kOne = {"Block 1"};

INSTANTIATE_TEST_SUITE_P(
    Faults, StepFails,
    testing::Values(StepFault{"stage2:silent", kNone, "Communication error 1."},
                    StepFault{"stage2:wrong-code", kNone, "Communication error 1."},
                    StepFault{"stage2:nonzero-length", kNone, "Communication error 1."},
                    StepFault{"stage2:short", kNone, "Communication error 1."},
                    StepFault{"stage2:late", kNone, "Communication error 1."},
                    StepFault{"stage3:silent", kNone, "Communication error 2."},
                    StepFault{"stage3:wrong-code", kNone, "Communication error 2."},
                    StepFault{"stage3:nonzero-length", kNone, "Communication error 2."},
                    StepFault{"stage3:short", kNone, "Communication error 2."},
                    StepFault{"stage3:late", kNone, "Communication error 2."},
                    StepFault{"first:silent", kNone, "Communication error 3."},
                    StepFault{"first:wrong-code", kNone, "Communication error 3."},
                    StepFault{"first:nonzero-length", kNone, "Communication error 3."},
                    StepFault{"first:short", kNone, "Communication error 3."},
                    StepFault{"first:late", kNone, "Communication error 3."},
                    StepFault{"block2:silent", kOne, "Communication error 4."},
                    StepFault{"block2:wrong-code", kOne, "Communication error 4."},
                    StepFault{"block2:nonzero-length", kOne, "Communication error 4."},
                    StepFault{"block2:short", kOne, "Communication error 4."},
                    StepFault{"block2:late", kOne, "Communication error 4."}),
    [](const auto& info) {
        std::string name = info.param.fault;
        for (char& c : name) {
            if (c == ':' || c == '-')
                c = '_';
        }
        return name;
    });

TEST_F(UploadFixture, AnyAnswerToTheEndFrameEndsInDone) {
    StartSim({"--fault", "end:silent"});
    EXPECT_EQ(Upload(MakeImage(10)), Established(0, "Done."));
}

// ---- The device information ----

struct Info {
    const char* length;
    const char* bytes;
};

class DeviceInformation : public UploadFixture, public testing::WithParamInterface<Info> {};

TEST_P(DeviceInformation, WhateverItHoldsStage3Follows) {
    StartSim({"--info-length", GetParam().length, "--info-bytes", GetParam().bytes});
    EXPECT_EQ(Upload(MakeImage(5000)), Established(1, "Done."));
    EXPECT_EQ(LinesStarting(StopSim(), "VERDICT OK").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, DeviceInformation,
                         testing::Values(Info{"0", "all"}, Info{"1024", "all"},
                                         Info{"1024", "part"}, Info{"1025", "all"},
                                         Info{"1025", "part"}, Info{"65535", "all"},
                                         Info{"65535", "part"}, Info{"65535", "none"}),
                         [](const auto& info) {
                             return std::string("Length") + info.param.length + "_" +
                                    info.param.bytes;
                         });

// ---- The port ----

TEST_F(UploadFixture, APortThatCannotBeOpenedShowsPortErrorAndNoDialog) {
    ports.Link("COM3", "/nonexistent/ttyUSB7");
    Upload(MakeImage(10));
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_EQ(host.boxes, (Lines{"Could not create handle", "Port Error."}));
    EXPECT_FALSE(Serial.IsOpen());
}

TEST_F(UploadFixture, APortInUseShowsPortErrorAndTheNextPressTriesAgain) {
    StartSim();
    CSerial other;
    other.Open(("COM3:115200,N,8,1"));
    ASSERT_TRUE(other.IsOpen());
    const std::string image = MakeImage(10);
    Upload(image);
    EXPECT_EQ(host.boxes, (Lines{"Could not create handle", "Port Error."}));
    EXPECT_TRUE(host.log.empty());

    other.Close();
    host.boxes.clear();
    EXPECT_EQ(Upload(image), Established(0, "Done."));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(UploadFixture, ASecondRunKeepsTheOpenPortAndProposesTheSameNameAgain) {
    StartSim();
    int opens = 0;
    Platform().CreateFileA =
        [&opens, systemOpen = SystemPlatform().CreateFileA](const char* n, DWORD a, DWORD s,
                                                            void* sa, DWORD d, DWORD f, HANDLE t) {
            ++opens;
            return systemOpen(n, a, s, sa, d, f, t);
        };
    const std::string image = MakeImage(5000);
    EXPECT_EQ(Upload(image), Established(1, "Done."));
    portIndex = 0; // a port chosen later changes nothing while this one is open
    EXPECT_EQ(Upload(image), Established(1, "Done."));
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(host.clears, 2);
    ASSERT_EQ(host.dialogs.size(), 2u);
    for (const auto& dialog : host.dialogs) {
        EXPECT_EQ(dialog.Filter, "File(*.bin)|*.bin");
        EXPECT_EQ(dialog.Title, "Load");
        EXPECT_EQ(dialog.FileName, "rom_S.bin");
    }
    EXPECT_EQ(LinesStarting(StopSim(), "VERDICT OK").size(), 2u);
}

TEST_F(UploadFixture, ACancelledDialogEndsTheRunSilentlyWithThePortOpen) {
    StartSim();
    host.log = {"typed by the user"};
    host.answer.reset();
    UploadImage(host);
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(Serial.IsOpen());
    EXPECT_TRUE(LinesStarting(StopSim(), "RX").empty());
}

// A device gone away (the adapter unplugged) fails its step with the step's message, and then the
// port is closed, so that the next press connects afresh; a silent receiver leaves it open.
TEST_F(UploadFixture, APortWhoseDeviceIsGoneIsClosedWhenTheStepEnds) {
    FakePlatform fake;
    fake.gone = true;
    fake.tickStep = 100;
    const std::string image = MakeImage(10);
    EXPECT_EQ(Upload(image), (Lines{"Please turn ON the IRD", "Communication Error"}));
    EXPECT_EQ(fake.Count("WriteFile"), 11u) << "the wake-up runs to its end";
    EXPECT_FALSE(Serial.IsOpen());
    ASSERT_GE(fake.calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(fake.calls.end() - 3, fake.calls.end()),
              (Lines{"ClearCommError", "PurgeComm", "CloseHandle"}));

    // Back again: the next press opens the port anew. Silent now, the port stays open.
    fake.gone = false;
    EXPECT_EQ(Upload(image), (Lines{"Please turn ON the IRD", "Communication Error"}));
    EXPECT_EQ(fake.Count("CreateFileA"), 2u);
    EXPECT_TRUE(Serial.IsOpen());
    EXPECT_TRUE(host.boxes.empty());
    Serial.Close();
}

// ---- Files that are no image ----

TEST_F(UploadFixture, OnlyARegularFileIsAnImage) {
    StartSim();
    const std::string fifo = ports.PortsDir() + "/../fifo.bin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const Lines cases[] = {
        Upload(ports.PortsDir()),           // a directory
        Upload(fifo),                       // opening it for reading must not wait for a writer
        Upload("/dev/zero"),                // a device
        Upload(ports.PortsDir() + "/none"), // a name typed in the dialog that does not exist
    };
    for (const auto& log : cases)
        EXPECT_EQ(log, Lines{"Cannot open file."});
    EXPECT_TRUE(LinesStarting(StopSim(), "RX").empty());
}

// Opening a device can act on it (an adapter's modem lines change when it is opened): a path
// that is no regular file is refused without ever being opened.
TEST_F(UploadFixture, ADevicePathIsRefusedWithoutBeingOpened) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string slavePath = ttyname(slave);
    close(slave);
    const std::string fifo = ports.PortsDir() + "/../fifo.bin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, slavePath.c_str(), IN_OPEN), 0);
    ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);

    StartSim();
    EXPECT_EQ(Upload(slavePath), Lines{"Cannot open file."});
    EXPECT_EQ(Upload(fifo), Lines{"Cannot open file."});
    alignas(inotify_event) char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "an open was seen";
    close(watch);
    close(master);
    EXPECT_TRUE(LinesStarting(StopSim(), "RX").empty());
}

TEST_F(UploadFixture, AFileThatShrinksDuringTheUploadStopsItBeforeStaleBytesGoOut) {
    StartSim();
    const std::string image = MakeImage(5 * 4080);
    host.onProcessMessages = [&] {
        if (host.processed == 1) {
            ASSERT_EQ(truncate(image.c_str(), 2 * 4080 + 100), 0);
        }
    };
    EXPECT_EQ(Upload(image), Established(1, "File read error."));
    const Lines sim = StopSim();
    EXPECT_EQ(LinesStarting(sim, "RX block").size(), 1u);
    // The first block and block 1 were announced; nothing of block 2 went out.
    const Lines codes = ControlCodes(sim);
    EXPECT_EQ(codes.back(), "0x0030");
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "0x0030"), 2);
}

TEST_F(UploadFixture, AFileDeletedDuringTheUploadIsStillSentWhole) {
    StartSim();
    const std::string image = MakeImage(5 * 4080);
    const std::vector<std::uint8_t> bytes = ReadWholeFile(image);
    host.onProcessMessages = [&] {
        if (host.processed == 1) {
            ASSERT_EQ(unlink(image.c_str()), 0);
        }
    };
    EXPECT_EQ(Upload(image), Established(4, "Done."));
    StopSim();
    EXPECT_TRUE(ReadWholeFile(SimImagePath()) == bytes);
}

TEST_F(UploadFixture, APathWithSpacesAndNonAsciiCharacters) {
    StartSim();
    EXPECT_EQ(Upload(MakeImage(4500, "image été 2026.bin")), Established(1, "Done."));
}

} // namespace
