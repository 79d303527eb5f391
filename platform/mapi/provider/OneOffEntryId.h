// One-off entry identifiers: an address that no address book holds, as MAPI publishes the layout
// (flags, the one-off provider UID, version, flags, then display name, address type and address).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include <mapidefs.h>

namespace mapi {

struct OneOffAddress {
    std::u16string displayName;
    std::u16string addressType;
    std::u16string address;
    bool unicode = true;     // the texts are UTF-16 (MAPI_ONE_OFF_UNICODE), else 8-bit
    bool noRichInfo = false;  // MAPI_ONE_OFF_NO_RICH_INFO
};

// nullopt when the bytes are no one-off identifier or a text is not terminated.
std::optional<OneOffAddress> ParseOneOff(std::span<const BYTE> entryId);
std::vector<BYTE> MakeOneOff(const OneOffAddress& address);

// "TYPE:ADDRESS" in capitals, as 8-bit text with its terminating zero (PR_SEARCH_KEY).
std::vector<BYTE> SearchKey(std::u16string_view addressType, std::u16string_view address);

} // namespace mapi
