// Property tags of the server connection settings, shared by the driver, the CLI session and the
// IMAP client. They are the tags of the server connector's profile section.
#pragma once

#include <cstdint>

namespace ex2qln::mapi {

inline constexpr std::uint32_t kPropServerHost = 0x6608001E;         // 8-bit string
inline constexpr std::uint32_t kPropConnectorSetting6602 = 0x6602001E;
inline constexpr std::uint32_t kPropAccountName = 0x6607001E;        // 8-bit string
inline constexpr std::uint32_t kPropPassword = 0x67F8001E;           // 8-bit string
inline constexpr std::uint32_t kPropUseTls = 0x66A5000B;             // boolean
inline constexpr std::uint32_t kPropImapPort = 0x66A40003;           // 32-bit integer
inline constexpr std::uint32_t kPropCliPort = 0x66A30003;            // 32-bit integer
inline constexpr std::uint32_t kPropNoProgressWindow = 0x66AA000B;   // boolean
inline constexpr std::uint32_t kPropSecureLogin = 0x66A6000B;        // boolean: absent or true is CRAM-MD5
inline constexpr std::uint32_t kPropUnsetSlot = 0x00000001;          // PT_NULL with id 0: an unset entry

} // namespace ex2qln::mapi
