// The exit-status table, row by row, and the bad input that must end with a message instead of a
// hang: options, ports and images.
#include "flash_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kImageSize = 2 * 4080;

struct Row {
    std::string name;
    // Starts what the row needs and returns the command line.
    std::function<std::vector<std::string>(FlashFixture&)> prepare;
    int status;
    std::string says; // in standard output or standard error
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << r.name;
}

class ExitStatusTable : public FlashFixture, public testing::WithParamInterface<Row> {};

TEST_P(ExitStatusTable, EndsWithItsStatusAndSaysWhy) {
    const Row& row = GetParam();
    const std::vector<std::string> args = row.prepare(*this);

    const FlashResult run = RunFlash(args, 30'000);

    EXPECT_EQ(run.status, row.status) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(row.says), std::string::npos)
        << "expected \"" << row.says << "\" in:\n"
        << run.out << run.err;
}

std::vector<std::string> OnCom1(FlashFixture& f, std::vector<std::string> sim = {}) {
    f.StartSim("COM1", std::move(sim));
    return {"-p", "COM1", f.MakeImage(kImageSize)};
}

// Holds a port the way another program would: open, locked, marked exclusive.
struct HeldPort {
    explicit HeldPort(const std::string& path)
        : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd >= 0)
            flock(fd, LOCK_EX | LOCK_NB);
    }
    ~HeldPort() {
        if (fd >= 0)
            close(fd);
    }
    int fd;
};

INSTANTIATE_TEST_SUITE_P(
    Rows, ExitStatusTable,
    testing::Values(
        Row{"Done", [](FlashFixture& f) { return OnCom1(f); }, 0, "Done."},
        Row{"CommunicationError",
            [](FlashFixture& f) {
                return OnCom1(f, {"--fault", "stage3:wrong-code"});
            },
            1, "Communication error 2."},
        Row{"FirstBlockNotAcknowledged",
            [](FlashFixture& f) {
                return OnCom1(f, {"--fault", "first:nonzero-length"});
            },
            1, "Communication error 3."},
        Row{"NoAnswer",
            [](FlashFixture& f) {
                return OnCom1(f, {"--fault", "wake:wrong-code"});
            },
            5, "Communication Error"},
        Row{"PortMissing",
            [](FlashFixture& f) {
                f.ports.Link("COM2", f.ports.Root() + "/nothing-here");
                return std::vector<std::string>{"-p", "COM2", f.MakeImage(kImageSize)};
            },
            4, "Could not create handle\nPort Error."},
        Row{"PortNotSerial",
            [](FlashFixture& f) {
                f.ports.Link("COM2", "/dev/null");
                return std::vector<std::string>{"-p", "COM2", f.MakeImage(kImageSize)};
            },
            4, "GetCommState failed"},
        Row{"PortInUse",
            [](FlashFixture& f) {
                auto args = OnCom1(f);
                f.keep.push_back(std::make_shared<HeldPort>(f.sims.at("COM1")->LinkPath()));
                return args;
            },
            4, "Could not create handle"},
        Row{"ImageMissing",
            [](FlashFixture& f) {
                f.StartSim("COM1");
                return std::vector<std::string>{"-p", "COM1", f.ports.Root() + "/none.bin"};
            },
            3, "no such file"},
        Row{"ImageTooLarge",
            [](FlashFixture& f) {
                f.StartSim("COM1");
                return std::vector<std::string>{"-p", "COM1", f.MakeImage(2465792)};
            },
            3, "must be smaller than 2,465,792 bytes"},
        Row{"ImageIsADirectory",
            [](FlashFixture& f) {
                return std::vector<std::string>{"-p", "COM1", f.ports.Root()};
            },
            3, "is not a regular file"},
        Row{"ImageIsAFifo",
            [](FlashFixture& f) {
                const std::string fifo = f.ports.Root() + "/fifo.bin";
                mkfifo(fifo.c_str(), 0600);
                return std::vector<std::string>{"-p", "COM1", fifo};
            },
            3, "is not a regular file"},
        Row{"UnknownOption",
            [](FlashFixture& f) {
                return std::vector<std::string>{"--speed", "9600", f.MakeImage(kImageSize)};
            },
            2, "--speed"},
        Row{"NoImage",
            [](FlashFixture&) {
                return std::vector<std::string>{"-p", "COM1"};
            },
            2, "IMAGE is required"},
        Row{"UnknownPortName",
            [](FlashFixture& f) {
                return std::vector<std::string>{"-p", "COM7", f.MakeImage(kImageSize)};
            },
            2, "unknown port 'COM7'"},
        Row{"PortGivenTwice",
            [](FlashFixture& f) {
                return std::vector<std::string>{"-p", "COM1", "-p", "COM1",
                                                f.MakeImage(kImageSize)};
            },
            2, "port COM1 is given twice"},
        Row{"OneDeviceUnderTwoNames",
            [](FlashFixture& f) {
                f.StartSim("COM1");
                return std::vector<std::string>{"-p", "COM1", "-p", f.sims.at("COM1")->SlavePath(),
                                                f.MakeImage(kImageSize)};
            },
            2, "are the same device"}),
    [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

using FlashExitTest = FlashFixture;

TEST_F(FlashExitTest, NothingGoesToTheReceiverAfterAUsageError) {
    SimProcess& sim = StartSim("COM1");
    const FlashResult run = RunFlash({"-p", "COM1", "-p", "COM1", MakeImage(kImageSize)});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Starting(sim.Stop(), "RX ").empty());
}

TEST_F(FlashExitTest, TheWorstPortSetsTheStatus) {
    StartSim("COM1");
    StartSim("COM3", {"--fault", "wake:wrong-code"});
    ports.Link("COM2", ports.Root() + "/nothing-here");
    const std::string image = MakeImage(kImageSize);

    // No answer (5) outranks a port that cannot be opened (4) and a completed one.
    const FlashResult run = RunFlash({"-q", "-p", "COM1", "-p", "COM2", "-p", "COM3", image});

    EXPECT_EQ(run.status, 5) << run.err;
    std::vector<std::string> results = run.lines; // in the order the ports ended
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, std::vector<std::string>({"COM1: Done.",
                                                 "COM2: Port Error. (Could not create handle)",
                                                 "COM3: Communication Error"}))
        << run.out;
}

TEST_F(FlashExitTest, HelpShowsTheExitStatusTable) {
    const FlashResult run = RunFlash({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* row : {"130  interrupted", "  1  communication error", "  5  no answer",
                            "  4  a port cannot be opened", "  3  bad image file",
                            "  2  usage error", "  0  every port ended"})
        EXPECT_NE(run.out.find(row), std::string::npos) << row;
}

TEST_F(FlashExitTest, ListPortsNamesWhereEachComPoints) {
    SimProcess& sim = StartSim("COM2");
    const FlashResult run = RunFlash({"--list-ports", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    bool found = false;
    for (const std::string& line : run.lines) {
        const auto j = nlohmann::json::parse(line);
        if (j.at("device") == sim.SlavePath()) {
            found = true;
            EXPECT_EQ(j.at("com"), std::vector<std::string>{"COM2"});
        }
    }
    EXPECT_TRUE(found) << run.out;
}

} // namespace
