// Frames of the loader link. Every number on the line is big-endian; nothing is escaped.
#pragma once

#include <cstddef>
#include <cstdint>

class ImageFile;

inline constexpr char kFrameMagic[8] = {'G', 'r', 'a', 'y', 'O', 'w', 'L', 's'};
inline constexpr std::uint32_t kControlFrameSize = 12; // bytes; a reply frame has the same size
inline constexpr std::int32_t kBlockDataSize = 4080;   // image bytes in a full block frame
inline constexpr std::uint32_t kFirstBlockFrameSize = 4 + kBlockDataSize + 4; // 4088 bytes
inline constexpr std::uint8_t kFirstBlockPrefix[4] = {0x00, 0x20, 0x00, 0x00};
inline constexpr std::uint8_t kFirstBlockFiller = 0xFF; // an erased flash byte

// Codes of control frames (host to device).
inline constexpr std::uint16_t kCodeWake = 0x0012;
inline constexpr std::uint16_t kCodeStage2 = 0x0028;
inline constexpr std::uint16_t kCodeStart = 0x0000;
inline constexpr std::uint16_t kCodeFirstBlock = 0x0001;
inline constexpr std::uint16_t kCodeBlock = 0x0030;
inline constexpr std::uint16_t kCodeEnd = 0x0013;
// Codes of reply frames (device to host).
inline constexpr std::uint16_t kReplyAwake = 0x0004;
inline constexpr std::uint16_t kReplyOk = 0x0000;
inline constexpr std::uint16_t kReplyStage3 = 0x0029;

inline constexpr std::size_t kSendBufferSize = 65536;
inline constexpr std::size_t kReplyBufferSize = 1024;

// The two buffers of one upload run, and the operations that build frames into sendBuffer and
// judge replies in replyBuffer. A control frame is built from the first byte of sendBuffer, a
// block frame right after the room of a control frame: so the control frame 0x0030 that announces
// a block can be built once the block's image bytes are in hand, and nothing of a block whose
// bytes could not be read ever goes out.
struct LinkBuffers {
    std::uint8_t sendBuffer[kSendBufferSize];
    std::uint8_t replyBuffer[kReplyBufferSize];

    std::uint8_t* ControlFrame() { return sendBuffer; }
    std::uint8_t* BlockFrame() { return sendBuffer + kControlFrameSize; }

    // ControlFrame() bytes 0 to 11: magic, code, length.
    void BuildControlFrame(std::uint16_t code, std::uint16_t length);
    // BlockFrame() bytes 0 to 4087: prefix, up to 4080 image bytes read from the file's position
    // (0xFF where the image ends early), CRC-32 of the 4084 bytes before it. Returns the image
    // bytes read.
    std::int32_t BuildFirstBlockFrame(ImageFile& imageFile);
    // BlockFrame() bytes 0 to chunkSize + 3: the next chunkSize image bytes and their CRC-32.
    // Returns the image bytes read; the frame is good to send only when that is chunkSize.
    std::int32_t BuildBlockFrame(ImageFile& imageFile, std::int32_t chunkSize);
    // True exactly when the first 12 bytes of replyBuffer are the reply frame with this code
    // and length 0.
    bool ReplyMatches(std::uint16_t code) const;
};
