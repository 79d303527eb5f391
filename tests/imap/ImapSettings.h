// Server settings for the IMAP client tests: an in-memory property object filled the way the driver
// and the transfer fill it.
#pragma once

#include <MapiPtr.h>
#include <mapidefs.h>

#include <cstdint>
#include <optional>
#include <string>

namespace ex2qln::imap::testing {

struct ImapSettings {
    std::optional<std::string> host = "127.0.0.1";
    std::optional<std::string> password = "secret";
    std::optional<bool> useTls{};
    std::optional<bool> secureLogin{};
    std::optional<std::string> trailer{};  // PR_BODY_A, as a previous connection left it
};

// The account "postmaster", the IMAP port `port` and the values that are set.
MapiPtr<IPropData> MakeSettings(std::uint32_t port, const ImapSettings& values = {});

// The text of `tag` in `settings`, nullopt when absent.
std::optional<std::string> SettingText(IMAPIProp* settings, ULONG tag);

} // namespace ex2qln::imap::testing
