// crc64Update against liblzma's lzma_crc64 over the same 1 MiB and 256 MiB buffers.
#include <benchmark/benchmark.h>
#include <lzma.h>

#include <cstdint>
#include <map>
#include <vector>

#include "oss/crc64.h"

namespace {

// One buffer per size, filled once with pseudo-random bytes (splitmix64).
const std::vector<uint8_t>& Buffer(size_t size) {
    static std::map<size_t, std::vector<uint8_t>> buffers;
    auto& buffer = buffers[size];
    if (buffer.size() != size) {
        buffer.resize(size);
        uint64_t state = 0x9E3779B97F4A7C15ULL;
        for (size_t i = 0; i < size; i += 8) {
            uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            z ^= z >> 31;
            for (size_t b = 0; b < 8 && i + b < size; ++b) {
                buffer[i + b] = static_cast<uint8_t>(z >> (8 * b));
            }
        }
    }
    return buffer;
}

// Shown as "GB=<decimal gigabytes>/s" beside the binary bytes_per_second.
void ReportRate(benchmark::State& state, size_t size) {
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(size);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["GB"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsRate);
}

void BM_Crc64Update(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    const auto& buffer = Buffer(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(oss::crc64Update(0, buffer.data(), buffer.size()));
    }
    ReportRate(state, size);
}

void BM_LzmaCrc64(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    const auto& buffer = Buffer(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(lzma_crc64(buffer.data(), buffer.size(), 0));
    }
    ReportRate(state, size);
}

// Both must compute the same function, or the comparison means nothing.
void BM_SameResult(benchmark::State& state) {
    const auto& buffer = Buffer(1 << 20);
    const bool same = oss::crc64Update(0, buffer.data(), buffer.size()) ==
                      lzma_crc64(buffer.data(), buffer.size(), 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(same);
    }
    if (!same) {
        state.SkipWithError("crc64Update and lzma_crc64 disagree");
    }
}

}  // namespace

BENCHMARK(BM_SameResult)->Iterations(1);
BENCHMARK(BM_Crc64Update)->Arg(1 << 20)->Arg(256 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzmaCrc64)->Arg(1 << 20)->Arg(256 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
