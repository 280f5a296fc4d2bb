// Plays the host against the simulator with raw frames: two whole uploads, then a run with a
// wrong answer on purpose and a block frame with a bad CRC-32, and one with an answer sent twice
// and a hang-up after an answer.
#include "sim_process.h"
#include "temp_file.h"
#include "temp_ports.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kReplyBoundMs = 10'000; // against a hang only; no result depends on time
constexpr std::size_t kBlockData = 4080;

int failures = 0;

bool Check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    }
    return ok;
}

void PutBe16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void PutCrc(Bytes& out, std::size_t from) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(crc32(0, Z_NULL, 0), out.data() + from, static_cast<uInt>(out.size() - from)));
    PutBe16(out, static_cast<std::uint16_t>(crc >> 16));
    PutBe16(out, static_cast<std::uint16_t>(crc));
}

Bytes Frame(std::uint16_t code, std::uint16_t length = 0) {
    Bytes frame{'G', 'r', 'a', 'y', 'O', 'w', 'L', 's'};
    PutBe16(frame, code);
    PutBe16(frame, length);
    return frame;
}

// The host's end of the line, opened through the port link.
class Host {
public:
    explicit Host(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios settings{};
        if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~Host() {
        if (fd_ >= 0)
            close(fd_);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    void Write(const Bytes& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t count = write(fd_, bytes.data() + done, bytes.size() - done);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return;
            done += static_cast<std::size_t>(count);
        }
    }

    Bytes Read(std::size_t count) {
        Bytes bytes(count);
        std::size_t done = 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyBoundMs);
        while (done < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd fd{fd_, POLLIN, 0};
            if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0)
                break;
            const ssize_t got = read(fd_, bytes.data() + done, count - done);
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        bytes.resize(done);
        return bytes;
    }

    bool Reply(std::uint16_t code) { return Read(12) == Frame(code); }

private:
    int fd_;
};

// One whole dialogue; true when every answer was the right one.
bool Upload(Host& host, const Bytes& image) {
    host.Write(Frame(0x0012));
    if (!Check(host.Reply(0x0004), "wake-up answered with 0x0004"))
        return false;
    host.Write(Frame(0x0012));
    host.Write(Frame(0x0028));
    if (!Check(host.Reply(0x0000), "stage 2 answered with 0x0000"))
        return false;
    const Bytes head = host.Read(12);
    if (!Check(head.size() == 12, "device information head"))
        return false;
    const std::size_t infoLength = head[10] << 8 | head[11];
    Check(host.Read(infoLength).size() == infoLength, "device information bytes");
    host.Write(Frame(0x0000));
    if (!Check(host.Reply(0x0029), "stage 3 answered with 0x0029"))
        return false;

    for (const std::uint16_t code : {0x0000, 0x0001, 0x0001})
        host.Write(Frame(code));
    host.Write(Frame(0x0030, 4088));
    Bytes first{0x00, 0x20, 0x00, 0x00};
    const std::size_t firstData = std::min(image.size(), kBlockData);
    first.insert(first.end(), image.begin(), image.begin() + static_cast<long>(firstData));
    first.resize(4 + kBlockData, 0xFF);
    PutCrc(first, 0);
    host.Write(first);
    if (!Check(host.Reply(0x0000), "first block acknowledged"))
        return false;

    for (std::size_t offset = kBlockData; offset < image.size(); offset += kBlockData) {
        const std::size_t chunk = std::min(kBlockData, image.size() - offset);
        host.Write(Frame(0x0030, static_cast<std::uint16_t>(chunk + 4)));
        Bytes block(image.begin() + static_cast<long>(offset),
                    image.begin() + static_cast<long>(offset + chunk));
        PutCrc(block, 0);
        host.Write(block);
        if (!Check(host.Reply(0x0000), "block at " + std::to_string(offset) + " acknowledged"))
            return false;
    }
    host.Write(Frame(0x0013));
    return Check(host.Reply(0x0000), "end answered");
}

void WholeUploads() {
    TempPortsDir ports;
    const std::string received = ports.Root() + "/received.bin";
    SimProcess sim(ports.PortsDir(), "COM3", {"--out", received, "--exit-after", "2"});
    Check(sim.LinkPath() == ports.PortsDir() + "/COM3", "READY names the link");
    {
        Host host(sim.LinkPath());
        if (!Check(host.IsOpen(), "the link opens"))
            return;
        const Bytes image = PseudoRandomBytes(2 * kBlockData + 840, 7);
        if (Upload(host, image)) {
            const std::string verdict = sim.WaitForLine("VERDICT", kReplyBoundMs);
            Check(verdict == "VERDICT OK image=9000 blocks=3 crc=all-ok", verdict);
            Check(ReadWholeFile(received) == image, "the received image equals the one sent");
        }
        // A short image: the first block frame still carries 4080 bytes, 0xFF after the image.
        Bytes shortImage = PseudoRandomBytes(100, 8);
        if (Upload(host, shortImage)) {
            const std::string verdict = sim.WaitForLine("VERDICT", kReplyBoundMs);
            Check(verdict == "VERDICT OK image=4080 blocks=1 crc=all-ok", verdict);
            shortImage.resize(kBlockData, 0xFF);
            Check(ReadWholeFile(received) == shortImage, "the short image, filled up");
        }
    }
    sim.Stop();
    Check(sim.ExitCode() == 0, "exit status 0 after two dialogues");
    Check(access(sim.LinkPath().c_str(), F_OK) != 0, "the link is gone after exit");
}

void WrongAnswerAndBadCrc() {
    TempPortsDir ports;
    SimProcess sim(
        ports.PortsDir(), "COM3",
        {"--fault", "first:wrong-code", "--info-length", "1025", "--info-bytes", "part"});
    Host host(sim.LinkPath());
    host.Write(Frame(0x0012));
    Check(host.Reply(0x0004), "wake-up answered");
    host.Write(Frame(0x0012));
    host.Write(Frame(0x0028));
    Check(host.Reply(0x0000), "stage 2 answered");
    const Bytes head = host.Read(12);
    Check(head.size() == 12 && head[10] == 0x04 && head[11] == 0x01, "infoLength 1025");
    Check(host.Read(512).size() == 512, "half of the information bytes");
    Check(sim.WaitForLine("TX info", kReplyBoundMs) == "TX info len=1025 sent=512", "TX info line");
    host.Write(Frame(0x0000));
    Check(host.Reply(0x0029), "stage 3 answered");
    for (const std::uint16_t code : {0x0000, 0x0001, 0x0001})
        host.Write(Frame(code));
    host.Write(Frame(0x0030, 4088));
    Bytes first{0x00, 0x20, 0x00, 0x00};
    first.resize(4 + kBlockData, 0x11);
    PutCrc(first, 0);
    first.back() ^= 0x01;
    host.Write(first);
    Check(!sim.WaitForLine("TX none step=first why=bad-crc", kReplyBoundMs).empty(),
          "a bad CRC-32 is not acknowledged");
    Check(!sim.WaitForLine("VIOLATION bad CRC-32", kReplyBoundMs).empty(), "and is a violation");

    // The same frame again, intact: answered with the wrong code, as asked.
    host.Write(Frame(0x0000));
    host.Write(Frame(0x0001));
    host.Write(Frame(0x0001));
    host.Write(Frame(0x0030, 4088));
    first.back() ^= 0x01;
    host.Write(first);
    Check(host.Reply(0x0001), "first block answered with 0x0001");

    const auto lines = sim.Stop();
    Check(!lines.empty() && lines.back().rfind("VERDICT FAIL step=first blocks=1", 0) == 0,
          lines.empty() ? "no output" : lines.back());
    Check(sim.ExitCode() == 1, "exit status 1 after a violation");
}

void AnswerTwiceThenHangUp() {
    TempPortsDir ports;
    SimProcess sim(ports.PortsDir(), "COM3",
                   {"--fault", "wake:twice", "--fault", "stage2:hangup-after"});
    Host host(sim.LinkPath());
    host.Write(Frame(0x0012));
    Bytes twice = Frame(0x0004);
    const Bytes once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    Check(host.Read(24) == twice, "the wake-up answered twice");
    Check(sim.WaitForLine("TX reply", kReplyBoundMs) == "TX reply code=0x0004 bytes=24 fault=twice",
          "TX reply line of the doubled answer");
    host.Write(Frame(0x0012));
    host.Write(Frame(0x0028));
    Check(host.Reply(0x0000), "stage 2 answered before the hang-up");
    Check(sim.WaitForLine("HANGUP", kReplyBoundMs) == "HANGUP step=stage2", "HANGUP line");
    Check(host.Read(1).empty(), "nothing after the hang-up, not even the device information");
    sim.Stop();
    Check(sim.ExitCode() == 0, "exit status 0 after a hang-up on purpose");
}

} // namespace

int main() {
    try {
        WholeUploads();
        WrongAnswerAndBadCrc();
        AnswerTwiceThenHangUp();
    } catch (const std::exception& error) {
        Check(false, error.what());
    }
    if (failures == 0)
        std::puts("simulator self-test passed");
    return failures == 0 ? 0 : 1;
}
