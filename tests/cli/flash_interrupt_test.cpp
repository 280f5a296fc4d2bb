// Ctrl+C during the block loop: every upload stops between two frames, nothing more reaches a
// receiver, and the program says which receivers hold an unfinished image.
#include "flash_fixture.h"

#include <csignal>
#include <nlohmann/json.hpp>

namespace {

constexpr std::size_t kImageSize = 40 * 4080; // about 15 s on a paced line: never finished here

using FlashInterruptTest = FlashFixture;

int BlocksIn(const std::string& verdict) {
    const auto at = verdict.find("blocks=");
    return at == std::string::npos ? -1 : std::stoi(verdict.substr(at + 7));
}

void ExpectStoppedCleanly(const std::vector<std::string>& account, int acknowledged,
                          const std::string& port) {
    const auto received = Starting(account, "RX ");
    ASSERT_FALSE(received.empty()) << port;
    // The stop came between frames: a block frame that was announced went out whole, and no
    // announcement was left without its block frame.
    EXPECT_EQ(received.back().rfind("RX ctrl code=0x0030", 0), std::string::npos)
        << port << ": " << received.back();
    for (const std::string& line : received) {
        EXPECT_EQ(line.find("crc=bad"), std::string::npos) << port << ": " << line;
        EXPECT_EQ(line.find("code=0x0013"), std::string::npos) << port << ": " << line;
    }
    EXPECT_TRUE(Starting(account, "VIOLATION").empty()) << port;
    const auto verdicts = Starting(account, "VERDICT");
    ASSERT_EQ(verdicts.size(), 1u) << port;
    EXPECT_EQ(verdicts[0].rfind("VERDICT INCOMPLETE step=block", 0), 0u) << verdicts[0];
    // At most the block frame whose announcement went out before the stop came after it.
    const int intact = BlocksIn(verdicts[0]);
    EXPECT_GE(intact, acknowledged) << port;
    EXPECT_LE(intact, acknowledged + 1) << port;
}

TEST_F(FlashInterruptTest, SigintStopsEveryPortBetweenFrames) {
    const std::vector<std::string> names = {"COM1", "COM2", "COM3"};
    for (const std::string& port : names)
        StartSim(port, {"--pace"});
    const std::string image = MakeImage(kImageSize);

    FlashProcess flash({"--json", "-p", "COM1", "-p", "COM2", "-p", "COM3", image});
    for (const std::string& port : names)
        ASSERT_FALSE(sims.at(port)->WaitForLine("RX block n=3", 30'000).empty()) << port;
    flash.Signal(SIGINT);
    const int status = flash.Wait(30'000);

    EXPECT_EQ(status, 130) << flash.Err();
    EXPECT_NE(flash.Err().find("receivers left unfinished: COM1, COM2, COM3"), std::string::npos)
        << flash.Err();
    const auto lines = flash.OutLines();
    ASSERT_EQ(lines.size(), names.size()) << flash.Out();
    for (const std::string& line : lines) {
        const auto j = nlohmann::json::parse(line);
        const std::string port = j.at("port");
        EXPECT_EQ(j.at("result"), "interrupted") << port;
        EXPECT_EQ(j.at("unfinished"), true) << port;
        const int acknowledged = j.at("blocks_acknowledged");
        EXPECT_GE(acknowledged, 3) << port;
        EXPECT_LT(acknowledged, j.at("blocks_total").get<int>()) << port;
        ExpectStoppedCleanly(sims.at(port)->Stop(), acknowledged, port);
    }
}

TEST_F(FlashInterruptTest, SigtermDuringTheWakeUpLeavesNothingUnfinished) {
    // A receiver that answers only its fifth wake-up frame: the stop comes while it is awaited.
    SimProcess& sim = StartSim("COM1", {"--answer-wake", "5"});
    FlashProcess flash({"-p", "COM1", MakeImage(4080)});
    ASSERT_FALSE(sim.WaitForLine("RX ctrl code=0x0012", 30'000).empty());
    flash.Signal(SIGTERM);
    const int status = flash.Wait(30'000);

    EXPECT_EQ(status, 130) << flash.Err();
    EXPECT_NE(flash.Out().find("Stopped before the receiver answered"), std::string::npos)
        << flash.Out();
    EXPECT_NE(flash.Err().find("receivers left unfinished: none"), std::string::npos)
        << flash.Err();
    const auto account = sim.Stop();
    EXPECT_TRUE(Starting(account, "RX ctrl code=0x0028").empty());
}

} // namespace
