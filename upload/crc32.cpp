#include "crc32.h"

#include <array>

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u; // reflected

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t r = n;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1u) ? (r >> 1) ^ kPolynomial : r >> 1;
        table[n] = r;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

} // namespace

std::uint32_t BlockCrc32(const std::uint8_t* bytes, std::int32_t count) {
    if (count <= 0)
        return 0;
    std::uint32_t r = 0xFFFFFFFFu;
    for (std::int32_t i = 0; i < count; ++i)
        r = kTable[(r ^ bytes[i]) & 0xFFu] ^ (r >> 8);
    return r ^ 0xFFFFFFFFu;
}
