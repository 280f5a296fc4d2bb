// Random bytes for a loader that has lost its mind: reproducible from a seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class Garbage {
public:
    explicit Garbage(std::uint64_t seed) : state_(seed) {}
    std::vector<std::uint8_t> Next(std::size_t count);

private:
    std::uint64_t state_;
};

} // namespace sim
