// The termios port layer and CSerial on real pseudo-terminals and real files.
#include "connection.h"
#include "platform.h"
#include "port_names.h"
#include "serie.h"
#include "temp_ports.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- The mode text ----

struct ModeCase {
    const char* text;
    bool valid;
    DWORD baud;
    std::uint8_t parity;
    std::uint8_t byteSize;
    std::uint8_t stopBits;
};

TEST(BuildCommDCB, ReadsTheModeTextAndRefusesWhatItCannot) {
    const ModeCase cases[] = {
        {"COM3:115200,N,8,1", true, 115200, NOPARITY, 8, ONESTOPBIT},
        {"COM1:9600,E,7,2", true, 9600, EVENPARITY, 7, TWOSTOPBITS},
        {"COM2:300,o,5,1.5", true, 300, ODDPARITY, 5, ONE5STOPBITS},
        {"COM4:57600,M,6,1", true, 57600, MARKPARITY, 6, ONESTOPBIT},
        {"COM4:1200,s,8,1", true, 1200, SPACEPARITY, 8, ONESTOPBIT},
        {"19200,N,8,1", true, 19200, NOPARITY, 8, ONESTOPBIT},
        {"COM3:115201,N,8,1", false, 0, 0, 0, 0}, // no such baud rate
        {"COM3:0,N,8,1", false, 0, 0, 0, 0},
        {"COM3:99999999999,N,8,1", false, 0, 0, 0, 0},
        {"COM3:,N,8,1", false, 0, 0, 0, 0},
        {"COM3:115200,X,8,1", false, 0, 0, 0, 0},
        {"COM3:115200,N,9,1", false, 0, 0, 0, 0},
        {"COM3:115200,N,4,1", false, 0, 0, 0, 0},
        {"COM3:115200,N,8,3", false, 0, 0, 0, 0},
        {"COM3:115200,N,8", false, 0, 0, 0, 0},
        {"COM3:115200,N,8,1,x", false, 0, 0, 0, 0},
        {"COM3", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},
    };
    const PlatformApi os = SystemPlatform();
    for (const auto& c : cases) {
        DCB dcb{};
        ASSERT_EQ(os.BuildCommDCBA(c.text, &dcb) != 0, c.valid) << c.text;
        if (!c.valid)
            continue;
        EXPECT_EQ(dcb.BaudRate, c.baud) << c.text;
        EXPECT_EQ(dcb.Parity, c.parity) << c.text;
        EXPECT_EQ(dcb.ByteSize, c.byteSize) << c.text;
        EXPECT_EQ(dcb.StopBits, c.stopBits) << c.text;
    }
}

// ---- Port names ----

TEST(PortDevicePath, UsesTheUsersLinkWhenThereIsOneElseTheSystemsPort) {
    TempPortsDir ports;
    EXPECT_EQ(PortDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath("COM4"), "/dev/ttyS3");
    ports.Link("COM4", "/nowhere/at/all"); // even a link that points nowhere is the user's choice
    EXPECT_EQ(PortDevicePath("COM4"), ports.PortsDir() + "/COM4");
    EXPECT_EQ(PortDevicePath("COM0"), "");
    EXPECT_EQ(PortDevicePath("LPT1"), "");
    EXPECT_EQ(PortDevicePath("COM10"), "");
}

// ---- Opening real things as ports ----

// Records the texts of the message boxes that Open shows.
class PortTest : public testing::Test {
protected:
    void SetUp() override {
        Platform().MessageBoxA = [this](HWND, const char* text, const char*, UINT) {
            boxes.emplace_back(text);
            return 1;
        };
    }
    void TearDown() override { Platform() = SystemPlatform(); }

    // A pseudo-terminal linked as COM3; the test holds its master side.
    void MakePty() {
        int slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        slavePath = ttyname(slave);
        close(slave);
        ports.Link("COM3", slavePath);
    }
    void TearDownPty() {
        if (master >= 0)
            close(master);
        master = -1;
    }
    ~PortTest() override { TearDownPty(); }

    TempPortsDir ports;
    std::vector<std::string> boxes;
    int master = -1;
    std::string slavePath;
};

TEST_F(PortTest, APseudoTerminalOpensInRawModeAt115200) {
    MakePty();
    CSerial port;
    port.Open("COM3:115200,N,8,1");
    ASSERT_TRUE(port.IsOpen());
    EXPECT_TRUE(boxes.empty());

    termios tio{};
    ASSERT_EQ(tcgetattr(master, &tio), 0); // a pty's two sides share the line settings
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(PortTest, BytesCrossUnchangedBothWays) {
    MakePty();
    CSerial port;
    port.Open("COM3:115200,N,8,1");
    ASSERT_TRUE(port.IsOpen());

    // Every byte value, those a cooked line would translate or swallow included.
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(port.Write(all.data(), 256), 256u);
    Bytes got(256);
    std::size_t have = 0;
    while (have < 256) {
        const ssize_t n = read(master, got.data() + have, 256 - have);
        ASSERT_GT(n, 0);
        have += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(got, all);

    ASSERT_EQ(write(master, all.data(), 256), 256);
    Bytes back(256);
    EXPECT_EQ(port.Read(back.data(), 256, 10000), 256u);
    EXPECT_EQ(back, all);
}

TEST_F(PortTest, AReadOfASilentLineReturnsNothing) {
    MakePty();
    CSerial port;
    port.Open("COM3:115200,N,8,1");
    std::uint8_t buffer[12];
    EXPECT_EQ(port.Read(buffer, 12, 20), 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 12), Bytes(12, 0xFF));
}

TEST_F(PortTest, APortIsOpenedOnceAtATime) {
    MakePty();
    CSerial first;
    first.Open("COM3:115200,N,8,1");
    ASSERT_TRUE(first.IsOpen());

    CSerial second;
    second.Open("COM3:115200,N,8,1");
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(boxes, std::vector<std::string>{"Could not create handle"});

    first.Close();
    second.Open("COM3:115200,N,8,1");
    EXPECT_TRUE(second.IsOpen());
}

TEST_F(PortTest, APortHeldByAnotherProcessCannotBeOpened) {
    MakePty();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        // Another instance of the program: it holds the port the same way.
        const PlatformApi os = SystemPlatform();
        HANDLE h = os.CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        const char status = h == INVALID_HANDLE_VALUE ? 'n' : 'y';
        (void)!write(ready[1], &status, 1);
        pause();
        _exit(0);
    }
    char status = 0;
    ASSERT_EQ(read(ready[0], &status, 1), 1);
    ASSERT_EQ(status, 'y');

    CSerial port;
    port.Open("COM3:115200,N,8,1");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(boxes, std::vector<std::string>{"Could not create handle"});

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    boxes.clear();
    port.Open("COM3:115200,N,8,1");
    EXPECT_TRUE(port.IsOpen()) << "the port is free again once the other holder is gone";
}

struct NotAPort {
    const char* name;
    const char* target; // "" for a regular file made by the test
    const char* message;
};

class NotAPortTest : public PortTest, public testing::WithParamInterface<NotAPort> {};

TEST_P(NotAPortTest, ShowsTheFailingStepAndStaysClosed) {
    std::string target = GetParam().target;
    if (target.empty()) {
        target = ports.PortsDir() + "/../image.bin";
        const int fd = open(target.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    ports.Link("COM3", target);
    CSerial port;
    port.Open("COM3:115200,N,8,1");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(boxes, std::vector<std::string>{GetParam().message});
    port.Open("COM3:115200,N,8,1");
    EXPECT_EQ(boxes.size(), 2u) << "the next attempt is made again";
}

INSTANTIATE_TEST_SUITE_P(Targets, NotAPortTest,
                         testing::Values(NotAPort{"DevNull", "/dev/null", "GetCommState failed"},
                                         NotAPort{"RegularFile", "", "GetCommState failed"},
                                         NotAPort{"Directory", "/tmp", "Could not create handle"},
                                         NotAPort{"DanglingLink", "/nonexistent/ttyUSB9",
                                                  "Could not create handle"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortTest, ASystemPortWithoutAUartCountsAsMissing) {
    // The first of ttyS0 to ttyS3 that this machine has, reached as its COM name with no link.
    for (char n = '1'; n <= '4'; ++n) {
        const std::string node = std::string("/dev/ttyS") + static_cast<char>(n - 1);
        const int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            continue;
        close(fd);
        CSerial port;
        port.Open((std::string("COM") + n + ":115200,N,8,1").c_str());
        if (port.IsOpen())
            GTEST_SKIP() << node << " has a UART on this machine";
        EXPECT_EQ(boxes, std::vector<std::string>{"Could not create handle"});
        return;
    }
    GTEST_SKIP() << "this machine has no /dev/ttyS0 to /dev/ttyS3 that can be opened";
}

TEST_F(PortTest, ALineThatHasGoneAwayReadsNothingWithoutSpinning) {
    MakePty();
    CSerial port;
    port.Open("COM3:115200,N,8,1");
    ASSERT_TRUE(port.IsOpen());
    TearDownPty(); // the other end goes away, as an unplugged adapter does

    int reads = 0;
    const auto systemRead = SystemPlatform().ReadFile;
    Platform().ReadFile = [&](HANDLE h, void* b, DWORD n, DWORD* got, void* o) {
        ++reads;
        return systemRead(h, b, n, got, o);
    };
    std::uint8_t buffer[12];
    EXPECT_EQ(port.Read(buffer, 12, 50), 0u);
    // A read that finds nothing waits 10 ms, so 50 ms hold about 6 of them; a spinning loop
    // makes thousands.
    EXPECT_LE(reads, 10);
    EXPECT_EQ(port.Write(buffer, 12), 0u);
    EXPECT_TRUE(port.IsOpen()) << "the step that failed goes on to its end";
    EXPECT_TRUE(port.DeviceGone());
    port.CloseIfGone();
    EXPECT_FALSE(port.IsOpen());
}

// The layer's side of the contract: failure means a device gone, and nothing else does.
TEST_F(PortTest, OnlyALineThatHasGoneAwayFailsAReadOrAWrite) {
    MakePty();
    const PlatformApi os = SystemPlatform();
    HANDLE h =
        os.CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 50};
    ASSERT_TRUE(os.SetCommTimeouts(h, &timeouts));

    std::uint8_t buffer[12];
    DWORD received = 99;
    EXPECT_TRUE(os.ReadFile(h, buffer, 12, &received, nullptr)) << "a silent line";
    EXPECT_EQ(received, 0u);

    // Nobody reads the other end: the write stops at its time-out, having taken part.
    Bytes lots(1 << 20, 0x55);
    DWORD written = 0;
    EXPECT_TRUE(os.WriteFile(h, lots.data(), static_cast<DWORD>(lots.size()), &written, nullptr));
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, lots.size());

    TearDownPty();
    EXPECT_FALSE(os.ReadFile(h, buffer, 12, &received, nullptr));
    EXPECT_FALSE(os.WriteFile(h, buffer, 12, &written, nullptr));
    os.CloseHandle(h);
}

// The purge before each block drops what has arrived, and what was written goes on arriving at
// the other end. (A pseudo-terminal hands written bytes over at once, so it cannot show an
// output queue being emptied: serial_test checks that the purge asks for the input alone.)
TEST_F(PortTest, AnInputPurgeDropsWhatHasArrivedAndKeepsWhatWasWritten) {
    MakePty();
    CSerial port;
    port.Open("COM3:115200,N,8,1");
    ASSERT_TRUE(port.IsOpen());
    const Bytes stale{1, 2, 3};
    ASSERT_EQ(write(master, stale.data(), stale.size()), 3);
    const Bytes frame{'G', 'r', 'a', 'y'};
    ASSERT_EQ(port.Write(frame.data(), 4), 4u);

    port.PurgeInput();
    std::uint8_t buffer[3];
    EXPECT_EQ(port.Read(buffer, 3, 20), 0u) << "what had arrived is gone";
    Bytes got(4);
    ASSERT_EQ(read(master, got.data(), got.size()), 4);
    EXPECT_EQ(got, frame);
}

} // namespace
