// Fuzzes the organisation file reader: JSON syntax, structure, property keys and values. The
// text gets no base directory, so that no input can make the reader open files.
#include "platform/orgsource/OrganisationReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::orgsource::Organisation organisation;
    std::string error;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    HRESULT status = platform::orgsource::ReadOrganisationText(text, "fuzz.json", std::nullopt, organisation, error);
    if (FAILED(status) && error.empty()) {
        __builtin_trap();  // every failure must say what is wrong
    }
    if (SUCCEEDED(status)) {
        for (const auto& store : organisation.stores) {
            organisation.Locate(store.entryId);
            organisation.Locate(store.root.entryId);
        }
    }
    return 0;
}
