// The Outlook options that the conversion consults, read from the user's registry.
#pragma once

#include <cstdint>
#include <optional>

namespace mmconv {

struct OutlookOptions {
    std::optional<unsigned> majorVersion;                 // the installed Outlook's major version
    std::optional<std::uint32_t> plainWrapLen;            // line length of plain-text bodies
    std::optional<std::uint32_t> plainFormatMime;         // "Message Plain Format MIME"
    std::optional<std::uint32_t> autodetectCodePageOut;   // out-going code-page detection
    std::optional<std::uint32_t> rtfFormat;               // "Message RTF Format": 0 HTML, 1 plain text
};

// Each option is a 32-bit value under HKEY_CURRENT_USER "Software\Microsoft\Office\<major>.0\"
// followed by its key; an unreadable one is absent, and all are absent without an Outlook version.
OutlookOptions ReadOutlookOptions();

} // namespace mmconv
