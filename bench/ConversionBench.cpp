// Throughput of the whole conversion (MapiToMime as the transfer calls it, into a memory stream) on
// the fixed corpus of 300 mails of 20 MB, opened once through the MAPI runtime, beside a plain copy
// of the bytes the conversion writes.
#include <benchmark/benchmark.h>

#include <MapiPtr.h>
#include <QlnMapiExtras.h>
#include <mapiutil.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ConversionCorpus.h"
#include "mmconv/MMConv.h"

namespace {

constexpr std::size_t kMessages = 300;
constexpr std::size_t kCorpusBytes = 20 << 20;

// The corpus opened as messages, and the converted bytes of one pass for the copy baseline.
struct OpenedCorpus {
    std::vector<MapiPtr<IMessage>> messages;
    std::size_t inputBytes = 0;
    std::string output;
};

const OpenedCorpus& Corpus()
{
    static const OpenedCorpus corpus = [] {
        OpenedCorpus opened;
        char pattern[] = "/tmp/ex2qln-corpus-XXXXXX";
        const std::string directory = mkdtemp(pattern);
        mmconv::MMConvInit(MAPIAllocateBuffer, MAPIFreeBuffer, 1, 0);
        for (const std::string& path : bench::WriteCorpus(directory, kMessages, kCorpusBytes)) {
            opened.inputBytes += std::filesystem::file_size(path);
            MapiPtr<IMessage> message;
            if (FAILED(QlnOpenMsgFile(path.c_str(), 0, message.put(), nullptr)))
                std::abort();
            opened.messages.push_back(std::move(message));
        }
        std::filesystem::remove_all(directory);
        for (const MapiPtr<IMessage>& message : opened.messages) {
            MapiPtr<IStream> stream;
            CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
            mmconv::MapiToMime(message.get(), stream.get(), static_cast<LPMAPISESSION>(nullptr), nullptr, 0x01);
            STATSTG stat{};
            stream->Stat(&stat, STATFLAG_NONAME);
            LARGE_INTEGER start{};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
            ULONG read = 0;
            stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
            opened.output += bytes;
        }
        return opened;
    }();
    return corpus;
}

void ConvertCorpus(benchmark::State& state)
{
    const OpenedCorpus& corpus = Corpus();
    std::size_t written = 0;
    for (auto _ : state) {
        written = 0;
        for (const MapiPtr<IMessage>& message : corpus.messages) {
            MapiPtr<IStream> stream;
            CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
            if (FAILED(mmconv::MapiToMime(message.get(), stream.get(), static_cast<LPMAPISESSION>(nullptr), nullptr, 0x01)))
                state.SkipWithError("MapiToMime failed");
            STATSTG stat{};
            stream->Stat(&stat, STATFLAG_NONAME);
            written += static_cast<std::size_t>(stat.cbSize.QuadPart);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * corpus.messages.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
    state.counters["messages"] = static_cast<double>(corpus.messages.size());
    state.counters["input_MB"] = static_cast<double>(corpus.inputBytes) / (1 << 20);
    state.counters["output_MB"] = static_cast<double>(written) / (1 << 20);
}

void CopyOutput(benchmark::State& state)
{
    bench::CopyBaseline(state, Corpus().output);
}

BENCHMARK(CopyOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertCorpus)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
