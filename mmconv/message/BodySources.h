// The bodies a message carries, read once for the body writers.
#pragma once

#include <optional>
#include <string>

#include <mapidefs.h>

namespace mmconv {

struct BodySources {
    std::optional<std::u16string> plain;  // PR_BODY
    std::optional<std::string> rtf;       // PR_RTF_COMPRESSED, decompressed
    std::optional<std::string> html;      // PR_HTML, bytes as stored
    bool rtfFromHtml = false;             // the RTF encapsulates HTML
};

// Reads the three sources; a missing or unreadable one stays absent (unreadable ones are traced).
HRESULT ReadBodySources(IMessage* message, BodySources& sources);

// The first bytes of the decompressed RTF body, at most `count`; absent without one.
std::optional<std::string> ReadRtfStart(IMessage* message, std::size_t count);

} // namespace mmconv
