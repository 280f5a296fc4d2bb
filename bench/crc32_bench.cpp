// Throughput of BlockCrc32 beside zlib's crc32 on the same buffers: a full block's data (4080
// bytes) and the whole send buffer (64 KiB).
#include "crc32.h"
#include "temp_file.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<std::uint8_t> Buffer(benchmark::State& state) {
    return PseudoRandomBytes(static_cast<std::size_t>(state.range(0)), 7);
}

void BM_BlockCrc32(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Buffer(state);
    for (auto _ : state) {
        std::uint32_t crc = BlockCrc32(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_ZlibCrc32(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Buffer(state);
    for (auto _ : state) {
        uLong crc = crc32(0L, bytes.data(), static_cast<uInt>(bytes.size()));
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The two must agree, or the comparison means nothing.
void BM_Agree(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Buffer(state);
    const auto ours = BlockCrc32(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    const auto theirs = crc32(0L, bytes.data(), static_cast<uInt>(bytes.size()));
    if (ours != theirs)
        state.SkipWithError("BlockCrc32 and zlib's crc32 disagree");
    for (auto _ : state) {
    }
}

} // namespace

BENCHMARK(BM_Agree)->Arg(4080)->Arg(65536)->Iterations(1);
BENCHMARK(BM_BlockCrc32)->Arg(4080)->Arg(65536);
BENCHMARK(BM_ZlibCrc32)->Arg(4080)->Arg(65536);

BENCHMARK_MAIN();
