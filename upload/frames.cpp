#include "frames.h"

#include "crc32.h"
#include "image_file.h"

#include <algorithm>
#include <cstring>

namespace {

void PutBigEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value & 0xFFu);
}

void PutBigEndian32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

} // namespace

void LinkBuffers::BuildControlFrame(std::uint16_t code, std::uint16_t length) {
    std::uint8_t* frame = ControlFrame();
    std::memcpy(frame, kFrameMagic, sizeof kFrameMagic);
    PutBigEndian16(frame + 8, code);
    PutBigEndian16(frame + 10, length);
}

std::int32_t LinkBuffers::BuildFirstBlockFrame(ImageFile& imageFile) {
    std::uint8_t* frame = BlockFrame();
    std::memcpy(frame, kFirstBlockPrefix, sizeof kFirstBlockPrefix);
    std::uint8_t* data = frame + sizeof kFirstBlockPrefix;
    const std::int32_t got = std::max(imageFile.Read(data, kBlockDataSize), 0);
    // A short image leaves the rest of the data field as erased flash, never as stale bytes.
    std::memset(data + got, kFirstBlockFiller, static_cast<std::size_t>(kBlockDataSize - got));
    const std::int32_t covered = sizeof kFirstBlockPrefix + kBlockDataSize;
    PutBigEndian32(frame + covered, BlockCrc32(frame, covered));
    return got;
}

std::int32_t LinkBuffers::BuildBlockFrame(ImageFile& imageFile, std::int32_t chunkSize) {
    std::uint8_t* frame = BlockFrame();
    const std::int32_t got = std::max(imageFile.Read(frame, chunkSize), 0);
    PutBigEndian32(frame + chunkSize, BlockCrc32(frame, chunkSize));
    return got;
}

bool LinkBuffers::ReplyMatches(std::uint16_t code) const {
    std::uint8_t expected[kControlFrameSize];
    std::memcpy(expected, kFrameMagic, sizeof kFrameMagic);
    PutBigEndian16(expected + 8, code);
    PutBigEndian16(expected + 10, 0);
    return std::memcmp(replyBuffer, expected, kControlFrameSize) == 0;
}
