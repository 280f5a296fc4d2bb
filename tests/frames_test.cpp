// Frames of the loader link and their CRC-32, with zlib as the second opinion.
#include "crc32.h"
#include "frames.h"
#include "image_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The 12 bytes of a control or reply frame: the magic, then code and length.
Bytes WithMagic(const std::array<std::uint8_t, 4>& codeAndLength) {
    Bytes frame(kFrameMagic, kFrameMagic + 8);
    for (auto b : codeAndLength)
        frame.push_back(b);
    return frame;
}

// A temporary image file holding the given bytes.
class ImageOnDisk {
public:
    explicit ImageOnDisk(const Bytes& bytes) {
        char name[] = "/tmp/brisko-frames-XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        if (!bytes.empty()) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        }
        close(fd);
    }
    ~ImageOnDisk() { unlink(path.c_str()); }
    std::string path;
};

TEST(BlockCrc32, CheckValue) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(BlockCrc32(abc, 3), 0x352441C2u);
    const char* check = "123456789";
    EXPECT_EQ(BlockCrc32(reinterpret_cast<const std::uint8_t*>(check), 9), 0xCBF43926u);
}

TEST(BlockCrc32, ZeroOrNegativeCountGivesZero) {
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(BlockCrc32(&byte, 0), 0u);
    EXPECT_EQ(BlockCrc32(&byte, -5), 0u);
}

TEST(BlockCrc32, AgreesWithZlibOnRandomBuffers) {
    std::mt19937 random(20261211);
    for (int round = 0; round < 500; ++round) {
        const auto length = std::uniform_int_distribution<int>(1, 70000)(random);
        Bytes data(static_cast<std::size_t>(length));
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        const auto expected = crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(length));
        ASSERT_EQ(BlockCrc32(data.data(), length), expected) << "length " << length;
    }
}

class FramesTest : public testing::Test {
protected:
    Bytes Sent(const std::uint8_t* frame, std::size_t count) { return Bytes(frame, frame + count); }
    std::unique_ptr<LinkBuffers> link = std::make_unique<LinkBuffers>();
};

struct ControlCase {
    std::uint16_t code;
    std::uint16_t length;
    std::array<std::uint8_t, 4> tail;
};

TEST_F(FramesTest, ControlFramesAreMagicCodeAndLengthBigEndian) {
    const ControlCase cases[] = {
        {0x0012, 0, {0x00, 0x12, 0x00, 0x00}},        {0x0030, 4088, {0x00, 0x30, 0x0F, 0xF8}},
        {0x0030, 4080 + 4, {0x00, 0x30, 0x0F, 0xF4}}, {0x0030, 1 + 4, {0x00, 0x30, 0x00, 0x05}},
        {0x0013, 0, {0x00, 0x13, 0x00, 0x00}},        {0xABCD, 0x1234, {0xAB, 0xCD, 0x12, 0x34}},
    };
    for (const auto& c : cases) {
        link->BuildControlFrame(c.code, c.length);
        EXPECT_EQ(Sent(link->ControlFrame(), 12), WithMagic(c.tail)) << "code " << c.code;
    }
}

TEST_F(FramesTest, BlockFrameIsDataThenItsCrcBigEndian) {
    ImageOnDisk image({'a', 'b', 'c'});
    ImageFile file;
    ASSERT_TRUE(file.Open(image.path));
    EXPECT_EQ(link->BuildBlockFrame(file, 3), 3);
    EXPECT_EQ(Sent(link->BlockFrame(), 7), (Bytes{0x61, 0x62, 0x63, 0x35, 0x24, 0x41, 0xC2}));
}

TEST_F(FramesTest, FirstBlockFrameOfAShortImageIsFilledWithErasedFlash) {
    std::memset(link->sendBuffer, 0x5A, sizeof link->sendBuffer); // what memory held before
    ImageOnDisk image({1, 2, 3});
    ImageFile file;
    ASSERT_TRUE(file.Open(image.path));
    EXPECT_EQ(link->BuildFirstBlockFrame(file), 3);

    Bytes expected(4084, 0xFF);
    const std::uint8_t head[] = {0x00, 0x20, 0x00, 0x00, 1, 2, 3};
    std::copy(std::begin(head), std::end(head), expected.begin());
    const std::uint32_t crc = crc32(crc32(0L, Z_NULL, 0), expected.data(), 4084);
    for (int shift = 24; shift >= 0; shift -= 8)
        expected.push_back(static_cast<std::uint8_t>(crc >> shift));
    EXPECT_EQ(Sent(link->BlockFrame(), 4088), expected);
}

TEST_F(FramesTest, FirstBlockFrameTakesTheFirst4080BytesAndLeavesTheRest) {
    Bytes bytes(4081);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    ImageOnDisk image(bytes);
    ImageFile file;
    ASSERT_TRUE(file.Open(image.path));
    EXPECT_EQ(link->BuildFirstBlockFrame(file), 4080);
    EXPECT_EQ(Sent(link->BlockFrame() + 4, 4080), Bytes(bytes.begin(), bytes.begin() + 4080));
    EXPECT_EQ(link->BuildBlockFrame(file, 1), 1);
    EXPECT_EQ(link->BlockFrame()[0], bytes[4080]);
}

struct ReplyCase {
    const char* name;
    Bytes reply;
    std::uint16_t code;
    bool matches;
};

TEST_F(FramesTest, ReplyMatchesOnlyTheWholeFrameWithLengthZero) {
    const ReplyCase cases[] = {
        {"exact", WithMagic({0x00, 0x04, 0x00, 0x00}), 0x0004, true},
        {"nonzero length", WithMagic({0x00, 0x04, 0x00, 0x01}), 0x0004, false},
        {"other code", WithMagic({0x00, 0x00, 0x00, 0x00}), 0x0004, false},
        {"code 0", WithMagic({0x00, 0x00, 0x00, 0x00}), 0x0000, true},
        {"code 0x29", WithMagic({0x00, 0x29, 0x00, 0x00}), 0x0029, true},
        {"bad magic", Bytes{'G', 'r', 'a', 'y', 'O', 'w', 'L', 'S', 0, 4, 0, 0}, 0x0004, false},
        {"11 bytes then FF", WithMagic({0x00, 0x04, 0x00, 0xFF}), 0x0004, false},
        {"shifted by one", Bytes{0, 'G', 'r', 'a', 'y', 'O', 'w', 'L', 's', 0, 4, 0}, 0x0004,
         false},
    };
    for (const auto& c : cases) {
        std::memcpy(link->replyBuffer, c.reply.data(), 12);
        EXPECT_EQ(link->ReplyMatches(c.code), c.matches) << c.name;
    }
}

} // namespace
