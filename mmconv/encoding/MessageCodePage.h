// The choice of the one code page a message is written in.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "mmconv/encoding/MMLang.h"
#include "platform/base/HResult.h"

namespace mmconv {

// What the choice looks at, read by the message converter.
struct MessageCodePageInputs {
    std::optional<std::uint32_t> internetCpid;  // PR_INTERNET_CPID, absent when the message has none
    std::optional<unsigned> outlookMajorVersion;
    std::optional<std::uint32_t> autodetectCodePageOut;  // the Outlook option, absent when unreadable
    std::string_view trailerUtf8;                         // the configured body trailer, empty if none
};

// The message code page: 65001 without PR_INTERNET_CPID; PR_INTERNET_CPID when Outlook is newer
// than 9 with out-going code-page detection off, or when the trailer fits into it without
// replacement; else the default ANSI code page when the trailer fits into that, else 65001.
HRESULT SelectMessageCodePage(
    const CMMLang& lang, const MessageCodePageInputs& inputs, unsigned& codePage);

} // namespace mmconv
