#include "garbage.h"

namespace sim {

std::vector<std::uint8_t> Garbage::Next(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        bytes[i] = static_cast<std::uint8_t>((z ^ (z >> 31)) >> 56);
    }
    return bytes;
}

} // namespace sim
