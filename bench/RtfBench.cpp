// Throughput of compressed-RTF decompression (all at once and in 4 KiB reads) and of the RTF to
// text conversion, beside a plain memory copy of the same RTF.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "mmconv/body/CMMBodyConverter.h"
#include "platform/rtf/RtfCompressor.h"
#include "platform/rtf/RtfDecompressor.h"

namespace {

constexpr std::size_t kRtfSize = 4 << 20;

// An RTF mail body as Outlook writes it: a header with font and colour tables, then paragraphs of
// words with formatting switches, escaped accented letters, Unicode escapes and now and then a link.
const std::string& Rtf()
{
    static const std::string rtf = [] {
        static const char* const kWords[] = {"the", "meeting", "agenda", "quarterly", "report",
            "please", "find", "attached", "regards", "caf\\'e9", "M\\'fcller", "\\u26085?\\u26412?",
            "{\\b important}", "{\\i note}", "invoice", "budget", "2024", "review", "\\tab",
            "{\\field{\\*\\fldinst{HYPERLINK \"http://example.com/\"}}{\\fldrslt link}}"};
        std::mt19937 generator(42);
        std::string result =
            "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
            "{\\f1\\fmodern\\fcharset0 Courier New;}}{\\colortbl;\\red0\\green0\\blue255;}\r\n"
            "\\uc1\\pard\\plain\\f0\\fs20 ";
        result.reserve(kRtfSize + 256);
        std::size_t column = 0;
        while (result.size() < kRtfSize - 16) {
            result += kWords[generator() % std::size(kWords)];
            result += ' ';
            if (++column == 12) {
                result += "\\par\r\n\\pard\\plain\\f0\\fs20 ";
                column = 0;
            }
        }
        return result + "\\par}";
    }();
    return rtf;
}

const std::vector<std::uint8_t>& Compressed()
{
    static const std::vector<std::uint8_t> compressed = [] {
        std::vector<std::uint8_t> out;
        platform::rtf::CompressRtf(std::vector<std::uint8_t>(Rtf().begin(), Rtf().end()), out);
        return out;
    }();
    return compressed;
}

void MemoryCopy(benchmark::State& state) { bench::CopyBaseline(state, Rtf()); }

// Bytes processed count the RTF produced, so the figure compares with the copy of the same RTF.
void DecompressAll(benchmark::State& state)
{
    std::string rtf;
    for (auto _ : state) {
        if (platform::rtf::DecompressRtf(Compressed(), rtf) != S_OK)
            state.SkipWithError("DecompressRtf failed");
        benchmark::DoNotOptimize(rtf.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Rtf().size()));
    state.counters["compressed_ratio"] = static_cast<double>(Compressed().size()) / Rtf().size();
}

void DecompressInReads(benchmark::State& state)
{
    std::vector<std::uint8_t> buffer(4096);
    for (auto _ : state) {
        platform::rtf::RtfDecompressor reader;
        if (reader.Open(Compressed()) != S_OK)
            state.SkipWithError("Open failed");
        std::size_t count = 0;
        do {
            if (reader.Read(buffer, count) != S_OK) {
                state.SkipWithError("Read failed");
                break;
            }
            benchmark::DoNotOptimize(buffer.data());
        } while (count != 0);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Rtf().size()));
}

void ConvertToText(benchmark::State& state)
{
    std::string text;
    for (auto _ : state) {
        if (mmconv::CMMBodyConverter::ConvertToText(Rtf(), mmconv::BodySourceKind::kRtf, 0, 65001, text) != S_OK)
            state.SkipWithError("ConvertToText failed");
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Rtf().size()));
}

BENCHMARK(MemoryCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(DecompressAll)->Unit(benchmark::kMillisecond);
BENCHMARK(DecompressInReads)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertToText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
