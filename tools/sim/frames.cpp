#include "frames.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace sim {

namespace {

std::uint16_t ReadBe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// Not interpreted by the host; fixed so that runs can be compared.
constexpr std::array<std::uint8_t, kInfoHeadSize> kInfoHead{0x4B, 0x37, 0x31, 0x4C, 0x44,
                                                            0x52, 0x01, 0x02, 0x00, 0x07};

} // namespace

ControlFrame ParseControl(const std::uint8_t* frame) {
    ControlFrame parsed;
    parsed.magicOk = std::equal(kMagic.begin(), kMagic.end(), frame);
    parsed.code = ReadBe16(frame + kMagic.size());
    parsed.length = ReadBe16(frame + kMagic.size() + 2);
    return parsed;
}

std::vector<std::uint8_t> ReplyFrame(std::uint16_t code, std::uint16_t length) {
    std::vector<std::uint8_t> frame(kMagic.begin(), kMagic.end());
    PutBe16(frame, code);
    PutBe16(frame, length);
    return frame;
}

std::vector<std::uint8_t> InfoReply(std::uint16_t infoLength, std::size_t infoBytesSent) {
    std::vector<std::uint8_t> reply(kInfoHead.begin(), kInfoHead.end());
    PutBe16(reply, infoLength);
    for (std::size_t i = 0; i < infoBytesSent; ++i)
        reply.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return reply;
}

std::size_t NextMagicCandidate(const std::uint8_t* frame, std::size_t count) {
    for (std::size_t offset = 1; offset < count; ++offset) {
        const std::size_t compared = std::min(kMagic.size(), count - offset);
        if (std::memcmp(frame + offset, kMagic.data(), compared) == 0)
            return offset;
    }
    return count;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t count) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes at most uInt bytes per call; block frames are far smaller.
    crc = crc32(crc, data, static_cast<uInt>(count));
    return static_cast<std::uint32_t>(crc);
}

std::uint32_t ReadBe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

} // namespace sim
