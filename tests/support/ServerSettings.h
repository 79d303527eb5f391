// Server settings for the tests: an in-memory property object filled the way the driver fills it
// (and, for the IMAP client, the transfer).
#pragma once

#include <MapiPtr.h>
#include <mapidefs.h>

#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

struct ServerSettingsValues {
    std::optional<std::string> host = "127.0.0.1";
    std::optional<std::string> account = "postmaster";
    std::optional<std::string> password{};
    std::optional<bool> useTls{};
    std::optional<std::uint32_t> cliPort{};
    std::optional<bool> secureLogin{};
    std::optional<std::uint32_t> imapPort{};
    std::optional<std::string> trailer{};  // PR_BODY_A, as a previous IMAP connection left it
};

// A fresh property object holding the values that are set; fails the test when it cannot be made.
// The test program links the MAPI runtime, whose CreateIProp makes it.
MapiPtr<IPropData> MakeServerSettings(const ServerSettingsValues& values);

// The text of `tag` in `settings`, nullopt when absent.
std::optional<std::string> SettingText(IMAPIProp* settings, ULONG tag);

} // namespace testsupport
