// Property tags of the server connection settings, shared by the driver, the CLI session and the
// IMAP client. They are the tags of the server connector's profile section: the connector's own
// range, which the published MAPI headers do not name.
#pragma once

#include <mapidefs.h>

namespace ex2qln::mapi {

inline constexpr ULONG kPropServerHost = PROP_TAG(PT_STRING8, 0x6608);
inline constexpr ULONG kPropAccountName = PROP_TAG(PT_STRING8, 0x6607);
inline constexpr ULONG kPropPassword = PROP_TAG(PT_STRING8, 0x67F8);
inline constexpr ULONG kPropUseTls = PROP_TAG(PT_BOOLEAN, 0x66A5);
inline constexpr ULONG kPropImapPort = PROP_TAG(PT_LONG, 0x66A4);
inline constexpr ULONG kPropCliPort = PROP_TAG(PT_LONG, 0x66A3);
inline constexpr ULONG kPropNoProgressWindow = PROP_TAG(PT_BOOLEAN, 0x66AA);
inline constexpr ULONG kPropSecureLogin = PROP_TAG(PT_BOOLEAN, 0x66A6);  // absent or true is CRAM-MD5
inline constexpr ULONG kPropLoginMethod = PROP_TAG(PT_LONG, 0x66A2);
inline constexpr ULONG kPropKerberosFallback = PROP_TAG(PT_BOOLEAN, 0x66B4);
// Further settings of the connector's profile section that this program only carries over.
inline constexpr ULONG kPropConnectorSetting6602 = PROP_TAG(PT_STRING8, 0x6602);
inline constexpr ULONG kPropConnectorSetting66AD = PROP_TAG(PT_BOOLEAN, 0x66AD);
inline constexpr ULONG kPropConnectorSetting669E = PROP_TAG(PT_LONG, 0x669E);
inline constexpr ULONG kPropConnectorSetting66BE = PROP_TAG(PT_BOOLEAN, 0x66BE);
inline constexpr ULONG kPropConnectorSetting66BD = PROP_TAG(PT_BOOLEAN, 0x66BD);
inline constexpr ULONG kPropConnectorSetting669B = PROP_TAG(PT_STRING8, 0x669B);
inline constexpr ULONG kPropConnectorSetting669C = PROP_TAG(PT_STRING8, 0x669C);

} // namespace ex2qln::mapi
