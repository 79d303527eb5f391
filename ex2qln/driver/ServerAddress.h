// The --server text: host[:imap-port[:cli-port]].
#pragma once

#include <cstdint>
#include <string>

namespace ex2qln::driver {

inline constexpr std::int32_t kDefaultImapPort = 143;
inline constexpr std::int32_t kDefaultCliPort = 106;

struct ServerAddress {
    std::string host;
    std::int32_t imapPort = kDefaultImapPort;
    std::int32_t cliPort = kDefaultCliPort;
};

// The text before the first ":" is the host; after it a decimal number (leading blanks and a sign
// accepted, no digits read as 0) is the IMAP port, and a ":" right after that number introduces the
// CLI port. So "host::2106" gives IMAP port 0 and CLI port 2106.
ServerAddress ParseServerAddress(const std::string& text);

} // namespace ex2qln::driver
