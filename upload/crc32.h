// CRC-32 of the loader link: the reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF (the CRC-32 of zlib, gzip and PNG).
#pragma once

#include <cstdint>

// The CRC-32 of the first count bytes; 0 when count is 0 or less.
std::uint32_t BlockCrc32(const std::uint8_t* bytes, std::int32_t count);
