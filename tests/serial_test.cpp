// CSerial and the port connection on a scripted port layer.
#include "connection.h"
#include "fake_platform.h"
#include "serie.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Open ----

struct OpenFailure {
    const char* step;
    const char* message;
};

class OpenFails : public testing::TestWithParam<OpenFailure> {};

TEST_P(OpenFails, ShowsItsStepAndLeavesThePortClosedAndReopenable) {
    FakePlatform fake;
    fake.failing = GetParam().step;
    CSerial port;
    port.Open("COM3:115200,N,8,1");

    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(fake.boxes, std::vector<std::string>{GetParam().message});
    // The steps after the failing one are not attempted, and the handle is closed unless none
    // was made.
    EXPECT_EQ(fake.calls.back(), fake.failing == "CreateFileA" ? "CreateFileA" : "CloseHandle");
    EXPECT_EQ(fake.Count("SetCommState"), fake.failing == "SetCommState" ? 1u : 0u);

    fake.failing.clear();
    fake.boxes.clear();
    port.Open("COM3:115200,N,8,1");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(fake.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(EachStep, OpenFails,
                         testing::Values(OpenFailure{"CreateFileA", "Could not create handle"},
                                         OpenFailure{"SetupComm", "SetupComm failed"},
                                         OpenFailure{"GetCommTimeouts", "GetCommTimeouts failed"},
                                         OpenFailure{"SetCommTimeouts", "SetCommTimeouts failed"},
                                         OpenFailure{"GetCommState", "GetCommState failed"},
                                         OpenFailure{"BuildCommDCBA", "BuildCommDCB failed"},
                                         OpenFailure{"SetCommState", "SetCommState failed"}),
                         [](const auto& info) { return std::string(info.param.step); });

TEST(Open, ConfiguresThePortInOrder) {
    FakePlatform fake;
    fake.platformId = 1;
    CSerial port;
    port.Open("COM3:115200,N,8,1");

    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.calls, (std::vector<std::string>{
                              "GetVersionExA", "CreateFileA", "SetupComm", "GetCommTimeouts",
                              "SetCommTimeouts", "GetCommState", "BuildCommDCBA", "SetCommState"}));
    EXPECT_EQ(fake.openedName, "COM3");
    EXPECT_EQ(fake.modeText, "COM3:115200,N,8,1");
    EXPECT_EQ(osPlatform, 1);
    // Reads return at once; the read totals stay as the port had them.
    EXPECT_EQ(fake.timeoutsSet.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(fake.timeoutsSet.ReadTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(fake.timeoutsSet.ReadTotalTimeoutConstant, 3u);
    EXPECT_EQ(fake.timeoutsSet.WriteTotalTimeoutMultiplier, 200u);
    EXPECT_EQ(fake.timeoutsSet.WriteTotalTimeoutConstant, 200u);
    EXPECT_EQ(fake.stateSet.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(fake.stateSet.BaudRate, 115200u);
}

TEST(Open, RefreshesThePlatformEvenWhenItFails) {
    FakePlatform fake;
    fake.platformId = 2;
    fake.failing = "CreateFileA";
    CSerial port;
    port.Open("COM1:115200,N,8,1");
    EXPECT_EQ(osPlatform, 2);
}

// ---- Close, Purge and the object's end ----

TEST(Close, ClearsPurgesAndClosesEvenAClosedPort) {
    FakePlatform fake;
    {
        CSerial port;
        port.Close();
        EXPECT_FALSE(port.IsOpen());
        port.Open("COM2:115200,N,8,1");
        fake.calls.clear();
    } // the destructor closes the open port
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"ClearCommError", "PurgeComm", "CloseHandle"}));
}

TEST(Purge, AbortsAndEmptiesBothWaysButAnInputPurgeOnlyTheInput) {
    FakePlatform fake;
    CSerial port;
    port.Open("COM2:115200,N,8,1");
    port.Purge();
    port.PurgeInput();
    // Bytes still to be sent are never dropped before a block: they are part of the dialogue.
    EXPECT_EQ(fake.purges, (std::vector<DWORD>{0x0F, PURGE_RXCLEAR}));
}

// ---- Read ----

class ReadTest : public testing::Test {
protected:
    void SetUp() override { port.Open("COM3:115200,N,8,1"); }
    FakePlatform fake;
    CSerial port;
    std::uint8_t buffer[16] = {};
};

TEST_F(ReadTest, NothingArrivingFillsWithFFAndEndsAtTheTimeLimit) {
    fake.tick = 100;
    fake.tickStep = 10;
    EXPECT_EQ(port.Read(buffer, 12, 2000), 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 12), Bytes(12, 0xFF));
    EXPECT_EQ(buffer[12], 0x00) << "nothing beyond count is touched";
    // One read before the clock starts, then one per 10 ms tick until 2000 ms have passed.
    EXPECT_EQ(fake.Count("ReadFile"), 1u + 199u);
}

TEST_F(ReadTest, PiecesLandOneAfterAnotherAndTheRestStaysFF) {
    fake.pieces = {{1, 2}, {}, {3}, {}, {4, 5, 6}};
    EXPECT_EQ(port.Read(buffer, 8, 2000), 6u);
    EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{1, 2, 3, 4, 5, 6, 0xFF, 0xFF}));
    // Each read asks only for what is still missing.
    EXPECT_EQ(Bytes(fake.readCounts.begin(), fake.readCounts.begin() + 5), (Bytes{8, 6, 6, 5, 5}));
}

TEST_F(ReadTest, StopsAsSoonAsTheCountIsComplete) {
    fake.pieces = {{1, 2, 3}, {4}, {99}};
    EXPECT_EQ(port.Read(buffer, 4, 2000), 4u);
    EXPECT_EQ(fake.Count("ReadFile"), 2u);
    EXPECT_EQ(fake.pieces.size(), 1u) << "bytes beyond the count stay queued";
}

TEST_F(ReadTest, CountZeroMakesOneEmptyReadAndReturnsAtOnce) {
    EXPECT_EQ(port.Read(buffer, 0, 2000), 0u);
    EXPECT_EQ(fake.readCounts, std::vector<DWORD>{0});
}

TEST_F(ReadTest, TimeLimitZeroMakesExactlyOneRead) {
    fake.pieces = {{7, 8}, {9}};
    EXPECT_EQ(port.Read(buffer, 4, 0), 2u);
    EXPECT_EQ(fake.Count("ReadFile"), 1u);
}

TEST_F(ReadTest, TheTickCounterWrappingNeitherEndsNorProlongsTheRead) {
    fake.tick = 0xFFFFFFFFu - 500; // wraps 500 ms into the read
    fake.tickStep = 1;
    EXPECT_EQ(port.Read(buffer, 12, 2000), 0u);
    EXPECT_EQ(fake.Count("ReadFile"), 1u + 1999u);
}

TEST(Read, OnAClosedPortReturnsZeroAfterTheTimeLimit) {
    FakePlatform fake;
    fake.tickStep = 500;
    CSerial port;
    std::uint8_t buffer[4];
    EXPECT_EQ(port.Read(buffer, 4, 2000), 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), Bytes(4, 0xFF));
}

// ---- Write ----

struct WriteMode {
    std::int32_t platform;
    std::size_t writesFor3;
    std::size_t writesFor0;
};

class WriteModes : public testing::TestWithParam<WriteMode> {};

TEST_P(WriteModes, ByteByByteBelowPlatformTwoAndInOneCallFromIt) {
    FakePlatform fake;
    CSerial port;
    osPlatform = GetParam().platform;
    const std::uint8_t bytes[] = {0x61, 0x62, 0x63};

    EXPECT_EQ(port.Write(bytes, 3), 3u);
    ASSERT_EQ(fake.writes.size(), GetParam().writesFor3);
    Bytes sent;
    for (const auto& w : fake.writes)
        sent.insert(sent.end(), w.begin(), w.end());
    EXPECT_EQ(sent, (Bytes{0x61, 0x62, 0x63}));

    fake.writes.clear();
    EXPECT_EQ(port.Write(bytes, 0), 0u);
    EXPECT_EQ(fake.writes.size(), GetParam().writesFor0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, WriteModes,
                         testing::Values(WriteMode{0, 3, 0}, WriteMode{1, 3, 0}, WriteMode{2, 1, 1},
                                         WriteMode{3, 1, 1}));

TEST(Write, ReturnsWhatThePlatformTook) {
    FakePlatform fake;
    fake.writeLimit = 2;
    CSerial port;
    osPlatform = 2;
    const std::uint8_t bytes[5] = {};
    EXPECT_EQ(port.Write(bytes, 5), 2u);
}

TEST(Write, BeforeTheFirstOpenGoesByteByByte) {
    FakePlatform fake;
    CSerial port;
    const std::uint8_t bytes[2] = {1, 2};
    port.Write(bytes, 2);
    EXPECT_EQ(fake.writes.size(), 2u);
}

// ---- A device that goes away ----

// Only a failing read or write on an open port means the device is gone (an adapter unplugged).
// CSerial then closes the port when the upload's step ends; a merely silent or slow line stays
// open.
class GoneTest : public testing::Test {
protected:
    void SetUp() override {
        port.Open("COM3:115200,N,8,1");
        osPlatform = 2;
    }
    FakePlatform fake;
    CSerial port;
    std::uint8_t buffer[12] = {};
};

TEST_F(GoneTest, AFailingReadMarksTheDeviceGoneAndTheStepsEndClosesThePort) {
    fake.gone = true;
    fake.tickStep = 500;
    EXPECT_EQ(port.Read(buffer, 12, 2000), 0u);
    EXPECT_TRUE(port.IsOpen()) << "the step goes on to its own end";
    EXPECT_TRUE(port.DeviceGone());
    fake.calls.clear();
    port.CloseIfGone();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"ClearCommError", "PurgeComm", "CloseHandle"}));
    EXPECT_FALSE(port.DeviceGone()) << "the next Open starts afresh";
}

TEST_F(GoneTest, AFailingWriteMarksTheDeviceGone) {
    fake.gone = true;
    EXPECT_EQ(port.Write(buffer, 12), 0u);
    EXPECT_TRUE(port.DeviceGone());
    port.CloseIfGone();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(GoneTest, ASilentLineOrATimedOutWriteLeavesThePortOpen) {
    fake.tickStep = 500;
    EXPECT_EQ(port.Read(buffer, 12, 2000), 0u);
    fake.writeLimit = 5;
    EXPECT_EQ(port.Write(buffer, 12), 5u);
    EXPECT_FALSE(port.DeviceGone());
    fake.calls.clear();
    port.CloseIfGone();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(GoneTest, ReopeningForgetsTheGoneDevice) {
    fake.gone = true;
    port.Write(buffer, 12);
    port.Close();
    fake.gone = false;
    port.Open("COM3:115200,N,8,1");
    EXPECT_FALSE(port.DeviceGone());
    port.CloseIfGone();
    EXPECT_TRUE(port.IsOpen());
}

TEST(Gone, CallsOnAClosedPortProveNothing) {
    FakePlatform fake;
    fake.gone = true;
    fake.tickStep = 500;
    CSerial port;
    std::uint8_t buffer[4];
    port.Read(buffer, 4, 2000);
    port.Write(buffer, 4);
    EXPECT_FALSE(port.DeviceGone());
}

// ---- The connection ----

class ConnectTest : public testing::Test {
protected:
    void TearDown() override {
        Serial.Close();
        portIndex = 0;
    }
    FakePlatform fake;
};

TEST(FormatPortSpec, PrintsTheModeTextOfEachPort) {
    const char* expected[] = {"COM1:115200,N,8,1", "COM2:115200,N,8,1", "COM3:115200,N,8,1",
                              "COM4:115200,N,8,1"};
    for (std::uint8_t index = 0; index < 4; ++index) {
        FormatPortSpec(static_cast<std::uint8_t>(index + 1), 115200);
        EXPECT_STREQ(portSpec, expected[index]);
    }
}

TEST_F(ConnectTest, OpensTheSelectedPortAndPurgesIt) {
    portIndex = 2;
    ConnectPort();
    EXPECT_TRUE(Serial.IsOpen());
    EXPECT_EQ(fake.openedName, "COM3");
    EXPECT_EQ(fake.modeText, "COM3:115200,N,8,1");
    EXPECT_EQ(fake.calls.back(), "PurgeComm");
}

TEST_F(ConnectTest, ClosesAnOpenPortFirstAndReopensOnTheIndexOfThatMoment) {
    portIndex = 2;
    ConnectPort();
    portIndex = 0;
    fake.calls.clear();
    ConnectPort();
    EXPECT_TRUE(Serial.IsOpen());
    EXPECT_EQ(fake.openedName, "COM1");
    ASSERT_GE(fake.calls.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(fake.calls.begin(), fake.calls.begin() + 4),
        (std::vector<std::string>{"ClearCommError", "PurgeComm", "CloseHandle", "GetVersionExA"}));
}

TEST_F(ConnectTest, AFailedOpenIsNotPurgedAndLeavesThePortClosed) {
    fake.failing = "CreateFileA";
    ConnectPort();
    EXPECT_FALSE(Serial.IsOpen());
    EXPECT_EQ(fake.boxes, std::vector<std::string>{"Could not create handle"});
    EXPECT_EQ(fake.Count("PurgeComm"), 0u);
}

} // namespace
