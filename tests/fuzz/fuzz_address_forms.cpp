// Fuzzes the address-form readers: display names read as addresses, addr-spec syntax, flat entry
// lists and one-off entry identifiers (in both string forms), and the header forms written from
// what they read. Every entry of a list lies inside the list; a parsed address is an addr-spec.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "mmconv/encoding/MMLang.h"
#include "mmconv/message/AddressForm.h"
#include "mmconv/message/EntryIdForms.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const mmconv::CMMLang lang(1252);
    const mmconv::HeaderText text(lang, 65001);
    const std::span<const std::uint8_t> bytes(data, size);

    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (const std::optional<mmconv::ParsedMailbox> parsed = mmconv::ParseMailbox(wide)) {
        if (!mmconv::IsAddrSpec(parsed->address))
            std::abort();
        const std::string address(parsed->address.begin(), parsed->address.end());
        if (mmconv::EncodeRecepientName(text, parsed->phrase, address, true).find(address) == std::string::npos)
            std::abort();
    }
    mmconv::EmptyGroup(text, wide);

    for (std::span<const std::uint8_t> entry : mmconv::ParseFlatEntryList(bytes)) {
        if (entry.data() < data || entry.data() + entry.size() > data + size)
            std::abort();
        mmconv::ParseOneOffEntryId(entry, 932);
    }
    for (unsigned codePage : {1252u, 65001u, 50220u}) {
        if (const std::optional<mmconv::OneOffEntry> entry = mmconv::ParseOneOffEntryId(bytes, codePage))
            text.Phrase(entry->displayName);
    }
    return 0;
}
