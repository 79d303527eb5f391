// Ensure-folder: makes sure that a server folder exists with the wanted folder class, through
// "LIST (CLASS)", "CREATE" and "SETCLASS", the only users of these commands.
#pragma once

#include "ex2qln/imap/ImapXP.h"
#include "platform/base/HResult.h"

#include <string>
#include <string_view>

namespace ex2qln::transfer {

// The server's class for mail folders, and for folders without a class of their own.
inline constexpr std::string_view kDefaultFolderClass = "Default";

// The path with a first folder spelt "inbox" in any letter case (after "~account/") written
// "INBOX", so that it is the account's Inbox.
std::string WithInboxSpelling(std::string_view path);

// The METADATA entry (RFC 5464) that keeps a folder's class on a server without SETCLASS: shared,
// so that the account's owner and every client reading the folder see the same class.
inline constexpr std::string_view kClassMetadataEntry = "/shared/vendor/vendor.ex2qln/class";

// Lists the folder; creates it when the server does not have it (`created` is then set) and sets
// its class when it differs (case-sensitively) from `folderClass`. A refused CREATE gives
// E_ACCESSDENIED, a refused SETCLASS or LIST MAPI_E_EXTENDED_ERROR, with the server's text as the
// client's error text.
// On a server without the extensions (CImapXP::Features) the folder is listed with plain LIST and
// created without a class, with `specialUse` (an RFC 6154 attribute such as "\Sent", or empty) when
// the server takes CREATE-SPECIAL-USE; a refused CREATE of an account's INBOX means that it exists
// (such a server may not list another user's INBOX, and refuses to create one that exists).
// A class other than kDefaultFolderClass goes into kClassMetadataEntry where the server has
// METADATA (a refusal gives MAPI_E_EXTENDED_ERROR); otherwise the log says once that the folder
// keeps no class.
HRESULT EnsureFolder(imap::CImapXP& client, std::string_view path, std::string_view folderClass, bool* created = nullptr,
                     std::string_view specialUse = {});

} // namespace ex2qln::transfer
