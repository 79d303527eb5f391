// Throughput of the Base64 and quoted-printable transfer encodings on mail-like text and on binary
// data, each beside a plain memory copy of the same data.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "mmconv/encoding/ByteStream.h"
#include "mmconv/encoding/OutputEncodedData.h"

namespace {

constexpr std::size_t kDataSize = 4 << 20;

// Body text as mail carries it: lines of about 70 characters ending in CR LF, mostly ASCII words,
// some accented and some CJK words in UTF-8, now and then an "=" or a tab.
const std::string& TextData()
{
    static const std::string text = [] {
        static const char* const kWords[] = {"the", "meeting", "agenda", "quarterly", "report",
            "please", "find", "attached", "regards", "caf\xC3\xA9", "M\xC3\xBCller", "na\xC3\xAFve",
            "\xE6\x97\xA5\xE6\x9C\xAC", "x=1", "\t", "invoice", "budget", "2024", "review",
            "Stra\xC3\x9F" "e"};
        std::mt19937 generator(42);
        std::string result;
        result.reserve(kDataSize + 128);
        std::size_t column = 0;
        while (result.size() < kDataSize) {
            const char* word = kWords[generator() % std::size(kWords)];
            result += word;
            column += std::strlen(word);
            if (column > 68) {
                result += "\r\n";
                column = 0;
            } else {
                result += ' ';
                ++column;
            }
        }
        result.resize(kDataSize);
        return result;
    }();
    return text;
}

// Attachment data as mail carries it: already compressed, so every byte value is equally likely.
const std::string& BinaryData()
{
    static const std::string binary = [] {
        std::mt19937_64 generator(7);
        std::string result(kDataSize, '\0');
        for (std::size_t i = 0; i < result.size(); i += 8) {
            const std::uint64_t value = generator();
            std::memcpy(result.data() + i, &value, 8);
        }
        return result;
    }();
    return binary;
}

const std::string& Data(int kind) { return kind == 0 ? TextData() : BinaryData(); }

void MemoryCopy(benchmark::State& state, int kind) { bench::CopyBaseline(state, Data(kind)); }

void Encode(benchmark::State& state, int kind, mmconv::TransferMode mode)
{
    const std::string& data = Data(kind);
    std::string out;
    out.reserve(data.size() * 3 + data.size() / 20);
    for (auto _ : state) {
        out.clear();
        mmconv::StringSink sink(out);
        mmconv::MemorySource source(data);
        if (mmconv::OutputEncodedData(sink, source, static_cast<int>(mode), false) != S_OK)
            state.SkipWithError("OutputEncodedData failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
    state.counters["output_ratio"] = static_cast<double>(out.size()) / data.size();
}

void Base64(benchmark::State& state, int kind) { Encode(state, kind, mmconv::TransferMode::Base64); }
void QuotedPrintable(benchmark::State& state, int kind)
{
    Encode(state, kind, mmconv::TransferMode::QuotedPrintable);
}

constexpr int kText = 0;
constexpr int kBinary = 1;
BENCHMARK_CAPTURE(MemoryCopy, text, kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Base64, text, kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuotedPrintable, text, kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MemoryCopy, binary, kBinary)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Base64, binary, kBinary)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QuotedPrintable, binary, kBinary)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
