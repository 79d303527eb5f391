// What the SMTP address pass writes for an address: its search key and its one-off entry
// identifier, in the UTF-16 and the 8-bit string forms, and the SMTP address of a resolved entry.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapitags.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::transfer {

// The string form of one variant of the pass: property type, text type and one-off flags.
struct WideStrings {
    using Text = std::u16string;
    using View = std::u16string_view;
    static constexpr ULONG kType = PT_UNICODE;
    static constexpr std::uint32_t kOneOffFlags = 0x80000000u;  // version 0, MAPI_ONE_OFF_UNICODE
    static constexpr ULONG kStringFlag = MAPI_UNICODE;
    static constexpr View kSmtp = u"SMTP";
    static View Of(const SPropValue& value) { return value.Value.lpszW; }
};

struct AnsiStrings {
    using Text = std::string;
    using View = std::string_view;
    static constexpr ULONG kType = PT_STRING8;
    static constexpr std::uint32_t kOneOffFlags = 0;
    static constexpr ULONG kStringFlag = 0;
    static constexpr View kSmtp = "SMTP";
    static View Of(const SPropValue& value) { return value.Value.lpszA; }
};

// "TYPE:ADDRESS" in the locale's character set, upper-cased, with its terminating zero byte.
std::vector<BYTE> SearchKey(std::u16string_view addressType, std::u16string_view address);
std::vector<BYTE> SearchKey(std::string_view addressType, std::string_view address);

// The published one-off entry identifier: four zero bytes, the one-off provider's UID, the flags
// word, then the display name, the address type and the address, each with its terminating zero.
std::vector<BYTE> OneOffEntryId(std::u16string_view name, std::u16string_view addressType,
                                std::u16string_view address);
std::vector<BYTE> OneOffEntryId(std::string_view name, std::string_view addressType, std::string_view address);

// The value of `values` whose tag is `tag` (type included), or null.
const SPropValue* FindValue(const SPropValue* values, ULONG count, ULONG tag);

// The SMTP address of an address-book entry whose values are the pass's six resolution columns:
// its address when its address type is exactly "SMTP", else its PR_SMTP_ADDRESS; null when it has
// neither.
template <typename Strings>
const SPropValue* SmtpAddressOf(const SPropValue* values, ULONG count);

} // namespace ex2qln::transfer
