// The frames of the loader link, as the receiver's loader sees them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

inline constexpr std::array<std::uint8_t, 8> kMagic{'G', 'r', 'a', 'y', 'O', 'w', 'L', 's'};
inline constexpr std::size_t kControlSize = 12;      // bytes of a control or reply frame
inline constexpr std::size_t kBlockDataMax = 4080;   // data bytes of a full block
inline constexpr std::size_t kCrcSize = 4;           // CRC-32 after the data, big-endian
inline constexpr std::size_t kFirstBlockSize = 4088; // prefix, 4080 data bytes, CRC
inline constexpr std::array<std::uint8_t, 4> kFirstBlockPrefix{0x00, 0x20, 0x00, 0x00};
inline constexpr std::size_t kInfoHeadSize = 10; // head of the device information reply

// Codes of the control frames that the host sends.
inline constexpr std::uint16_t kCodeWake = 0x0012;   // wake-up; also opens stage 2
inline constexpr std::uint16_t kCodeStage2 = 0x0028; // second frame of stage 2
inline constexpr std::uint16_t kCodeZero = 0x0000;   // stage 3; first of the first block's
inline constexpr std::uint16_t kCodeOne = 0x0001;    // second and third of the first block's
inline constexpr std::uint16_t kCodeBlock = 0x0030;  // announces a block frame and its length
inline constexpr std::uint16_t kCodeEnd = 0x0013;    // end of the upload

// Codes of the reply frames that the loader sends.
inline constexpr std::uint16_t kReplyAwake = 0x0004;  // answer to a wake-up
inline constexpr std::uint16_t kReplyAck = 0x0000;    // stage 2, each block, end
inline constexpr std::uint16_t kReplyStage3 = 0x0029; // answer to stage 3

struct ControlFrame {
    bool magicOk = false;
    std::uint16_t code = 0;
    std::uint16_t length = 0;
};

// Reads the 12 bytes at frame as a control frame.
ControlFrame ParseControl(const std::uint8_t* frame);

std::vector<std::uint8_t> ReplyFrame(std::uint16_t code, std::uint16_t length);

// The device information reply: the head, infoLength big-endian, then the first infoBytesSent
// of the infoLength information bytes.
std::vector<std::uint8_t> InfoReply(std::uint16_t infoLength, std::size_t infoBytesSent);

// Where frame[offset..] could be the start of a frame: the first offset >= 1 at which the
// remaining bytes are the magic or a beginning of it, or count when there is none.
std::size_t NextMagicCandidate(const std::uint8_t* frame, std::size_t count);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t count);
std::uint32_t ReadBe32(const std::uint8_t* bytes);

} // namespace sim
