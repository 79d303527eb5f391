// Fuzzes the Outlook data-file reader: the file is opened and everything in it read, folders,
// their message lists and every message, as a mailbox's logon and a walk over it would.
#include "MappedInputFuzz.h"

#include "platform/pst/PstStore.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace platform;
using namespace platform::pst;

// A failure names the file; a success says nothing.
void Check(HRESULT status, const std::string& error, const std::string& path)
{
    if (FAILED(status) && error.rfind(path + ": ", 0) != 0)
        std::abort();
    if (SUCCEEDED(status) && !error.empty())
        std::abort();
}

void ReadFolder(const PstStore& store, std::uint32_t nid, const std::string& path, std::set<std::uint32_t>& seen)
{
    if (seen.size() > 256 || !seen.insert(nid).second)
        return;
    PstFolder folder;
    std::string error;
    HRESULT status = store.ReadFolder(nid, 1252, folder, error);
    Check(status, error, path);
    for (bool associated : {false, true}) {
        std::vector<std::uint32_t> ids;
        error.clear();
        Check(store.ReadMessageIds(nid, associated, ids, error), error, path);
        for (std::size_t i = 0; i < ids.size() && i < 64; ++i) {
            cfb::MsgDocument document;
            error.clear();
            status = store.ReadMessage(ids[i], 1252, document, error);
            Check(status, error, path);
            if (FAILED(status) && !document.message.properties.empty())
                std::abort();
        }
    }
    for (std::uint32_t child : folder.subfolders)
        ReadFolder(store, child, path, seen);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzzing::MappedInputPath(data, size);
    PstStore store;
    std::string error;
    HRESULT status = store.Open(path, error);
    Check(status, error, path);
    if (FAILED(status))
        return 0;
    cfb::MsgPropertyList properties;
    error.clear();
    Check(store.ReadStoreProperties(1252, properties, error), error, path);
    std::set<std::uint32_t> seen;
    ReadFolder(store, kRootFolderNode, path, seen);
    return 0;
}
