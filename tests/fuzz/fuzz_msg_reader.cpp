// Fuzzes the compound-file reader and the .msg reader on top of it.
#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/MsgFile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace platform::cfb;

// Every stream below the root reads or fails with a reason; a read stream has its stated size.
void ReadEveryStream(const CompoundFile& file)
{
    for (const DirectoryEntry* entry : file.StreamsBelow(file.Root())) {
        std::vector<std::uint8_t> data;
        HRESULT hr = file.ReadStream(*entry, data);
        if (FAILED(hr) && file.Error().empty())
            std::abort();
        if (SUCCEEDED(hr) && data.size() != entry->size)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> bytes(data, size);
    CompoundFile file;
    if (SUCCEEDED(file.Open(bytes)))
        ReadEveryStream(file);

    MsgDocument document;
    std::string error;
    HRESULT hr = ReadMsgBytes(bytes, "input.msg", document, error);
    if (FAILED(hr) && (hr != MAPI_E_CORRUPT_DATA || error.rfind("input.msg: ", 0) != 0 || !document.message.properties.empty()))
        std::abort();
    if (SUCCEEDED(hr) && !error.empty())
        std::abort();
    return 0;
}
