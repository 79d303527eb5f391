// Entry identifiers of the organisation's objects, in the published Exchange layouts, so that an
// identifier found in a real message (an "EX" sender, a store) names the same object here.
//
// Address-book entry (GAL user, contact, list, and the GAL container itself), 29 bytes and more:
//   0  4  flags, zero
//   4 16  provider UID DC A7 40 C8 C0 42 10 1A B4 B9 08 00 2B 2F E1 82 (Exchange address book)
//  20  4  version, 1 (little-endian)
//  24  4  display type (little-endian): 0 mail user, 1 distribution list, 6 contact,
//         0x20000 the Global Address List
//  28  n  the entry's Exchange DN in ASCII and a zero byte (the GAL has the empty DN)
// Message store, 61 bytes and more (the wrapped store identifier of the Exchange store provider):
//   0  4  flags, zero
//   4 16  38 A1 BB 10 05 E5 10 1A A1 BB 08 00 2B 2A 56 C2 (the MAPI store wrapper)
//  20  1  version 0;  21  1  flag 0
//  22 14  "emsmdb.dll" padded with zero bytes
//  36  4  wrapped flags, zero
//  40 16  the store provider: 54 94 A1 C0 29 7F 10 1B A5 87 08 00 2B 2A 25 17 (mailbox) or
//         78 B2 FA 70 AF F7 11 CD 9B C8 00 AA 00 2F C4 5A (public folders)
//  56  4  wrapped type (little-endian): 0x0C mailbox, 0x06 public folders
//  60  n  server name, a zero byte; for a mailbox then its Exchange DN and a zero byte
// Folder, 46 bytes:
//   0  4  flags, zero
//   4 16  the store's GUID (StoreGuid below)
//  20  2  folder type (little-endian): 1 mailbox folder, 3 public folder
//  22 16  the store's GUID again (in Exchange: the database's)
//  38  6  the folder's global counter, big-endian
//  44  2  zero
// Message, 70 bytes:
//   0  4  flags, zero
//   4 16  the store's GUID
//  20  2  message type (little-endian): 7 mailbox message, 9 public-folder message
//  22 16  store GUID;  38 6  the folder's counter;  44 2  zero
//  46 16  store GUID;  62 6  the message's counter; 68 2  zero
// The store GUID and the counters are derived from names (the mailbox's DN, the folder path, the
// message's id), so that the same organisation file gives the same identifiers on every load.
#pragma once

#include "platform/cfb/MsgModel.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::orgsource {

using EntryId = std::vector<std::uint8_t>;

enum class StoreKind { Mailbox, PublicFolders };

enum class EntryIdKind { AddressBook, Store, Folder, Message };

// What an identifier of one of the layouts above says.
struct ParsedEntryId {
    EntryIdKind kind = EntryIdKind::AddressBook;
    std::uint32_t displayType = 0;     // AddressBook
    std::string dn;                    // AddressBook: the entry's DN; Store: the mailbox DN
    StoreKind storeKind = StoreKind::Mailbox;  // Store, Folder, Message
    std::string serverName;            // Store
    cfb::Guid storeGuid{};             // Folder, Message
    std::uint64_t folderCounter = 0;   // Folder, Message
    std::uint64_t messageCounter = 0;  // Message
};

// The Exchange address-book provider's UID (also PR_AB_PROVIDER_ID of the GAL container).
cfb::Guid AddressBookProviderUid();
// PR_MDB_PROVIDER of a mailbox store or of the public folders.
cfb::Guid StoreProviderUid(StoreKind kind);

EntryId MakeAddressBookEntryId(std::uint32_t displayType, std::string_view dn);
EntryId MakeStoreEntryId(StoreKind kind, std::string_view serverName, std::string_view mailboxDn);
EntryId MakeFolderEntryId(StoreKind kind, const cfb::Guid& storeGuid, std::uint64_t folderCounter);
EntryId MakeMessageEntryId(StoreKind kind, const cfb::Guid& storeGuid, std::uint64_t folderCounter,
                           std::uint64_t messageCounter);

// nullopt when the bytes follow none of the layouts.
std::optional<ParsedEntryId> ParseEntryId(std::span<const std::uint8_t> entryId);

// The GUID of a store: from the mailbox DN (case-insensitive) or, for the public folders, fixed.
cfb::Guid StoreGuid(StoreKind kind, std::string_view mailboxDn);

// A 48-bit counter from a name; never zero.
std::uint64_t CounterFromName(std::string_view name);

// The server of a home database or transfer agent DN: the element after "/cn=Servers/cn=", or
// the empty text when there is none.
std::string ServerNameFromDn(std::string_view dn);

} // namespace platform::orgsource
