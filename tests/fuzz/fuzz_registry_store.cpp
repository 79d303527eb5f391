// Fuzzes the registry file parser: any text parses or is refused, and what parses writes back to
// a text that parses to the same tree.
#include "platform/registry/RegistryStore.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<platform::RegistryStore> store = platform::RegistryStore::Parse(text);
    if (!store)
        return 0;
    std::optional<platform::RegistryStore> again = platform::RegistryStore::Parse(store->Serialise());
    if (!again || !(*again == *store))
        std::abort();
    store->SubkeyNames("");
    return 0;
}
