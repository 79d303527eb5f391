// What the benchmarks share: the plain memory copy each throughput figure is read beside.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace bench {

// Copies `data` once per iteration; bytes processed are the bytes copied.
inline void CopyBaseline(benchmark::State& state, std::string_view data)
{
    std::vector<char> copy(data.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), data.data(), data.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

} // namespace bench
