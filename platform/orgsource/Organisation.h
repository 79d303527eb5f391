// The organisation as the MAPI layer serves it: the Global Address List, the mailbox stores with
// their folder trees and each folder's index of messages, and the public folders. Messages are read
// from their store's source when they are asked for, as .msg-model messages.
#pragma once

#include "platform/cfb/MsgModel.h"
#include "platform/base/HResult.h"
#include "platform/orgsource/EntryIds.h"
#include "platform/orgsource/MessageSource.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::orgsource {

enum class GalEntryKind { MailUser, Contact, DistList };

// One entry of the Global Address List. `properties` holds what the file gave and what the
// reader derives: PR_ENTRYID, PR_RECORD_KEY, PR_SEARCH_KEY ("EX:" and the DN in capitals),
// PR_OBJECT_TYPE, PR_DISPLAY_TYPE, PR_ADDRTYPE_W ("EX"), PR_EMAIL_ADDRESS_W (the DN),
// PR_SMTP_ADDRESS_W, PR_DISPLAY_NAME_W, PR_MHS_COMMON_NAME_W (the display name unless given),
// and for mail users PR_ACCOUNT_W with PR_EMS_AB_HOME_MDB_W or PR_EMS_AB_HOME_MTA_W.
// Strings are PT_UNICODE whatever type the file named.
struct GalEntry {
    GalEntryKind kind = GalEntryKind::MailUser;
    std::string dn;           // the Exchange DN (PR_EMAIL_ADDRESS)
    std::string smtpAddress;  // UTF-8
    std::string account;      // mail users; UTF-8
    std::string displayName;  // UTF-8
    std::string homeMdb;      // mail users: the home database DN, or empty
    std::string homeMta;      // mail users: the home transfer agent DN, or empty
    EntryId entryId;
    cfb::MsgPropertyList properties;
    std::vector<std::size_t> members;  // lists: indices into Organisation::gal, in file order
    bool openFails = false;            // lists: opening the list fails (for tests of that path)
};

// A message in its folder's index: what names it and where its store's source finds it again. The
// message itself is read when it is asked for (Organisation::ReadMessage), with its derived
// properties: PR_ENTRYID, PR_PARENT_ENTRYID, PR_OBJECT_TYPE, PR_HASATTACH, and in PR_MESSAGE_FLAGS
// the bits MSGFLAG_HASATTACH (0x10) and, for hidden items, MSGFLAG_ASSOCIATED (0x40).
struct Message {
    std::uint64_t counter = 0;  // the message's counter in its entry identifier
    std::string key;            // its id in the folder: "id" of the file, the .msg file name, or "#n"
    std::uint64_t locator = 0;  // the store source's own reference to it
};

enum class SpecialFolder { None, Inbox, Outbox, SentItems, DeletedItems, Drafts, Calendar, Contacts, Tasks, Notes, Journal };

// A folder. Derived properties: PR_ENTRYID, PR_PARENT_ENTRYID (the root's is its own),
// PR_DISPLAY_NAME_W, PR_CONTAINER_CLASS_W when the folder has a class, PR_FOLDER_TYPE,
// PR_CONTENT_COUNT, PR_ASSOC_CONTENT_COUNT, PR_SUBFOLDERS, and on the root and the Inbox the
// PR_IPM_*_ENTRYID of the calendar, contacts, journal, notes, tasks and drafts. The number of
// unread messages needs every message read: Organisation::UnreadMessages.
struct Folder {
    EntryId entryId;
    std::uint64_t counter = 0;
    std::string name;  // UTF-8
    SpecialFolder special = SpecialFolder::None;
    cfb::MsgPropertyList properties;
    std::vector<Folder> folders;
    std::vector<Message> messages;
    std::vector<Message> associated;  // hidden items (the folder's associated contents)
    bool openFails = false;           // opening the folder fails (for tests of that path)
    std::uint64_t locator = 0;        // the store source's own reference to the folder
    // Positions of the messages, and after them of the hidden items, in the order of their
    // counters: how an entry identifier finds its message.
    std::vector<std::uint32_t> byCounter;
};

// A store: a mailbox or the public folders. Its root folder holds one folder, the IPM subtree
// ("Top of Information Store", for the public folders "IPM_SUBTREE"), under which the folders of
// the file are. Derived properties: PR_ENTRYID, PR_RECORD_KEY, PR_DISPLAY_NAME_W, PR_MDB_PROVIDER,
// PR_IPM_SUBTREE_ENTRYID, the PR_IPM_OUTBOX/SENTMAIL/WASTEBASKET_ENTRYID of special folders, and
// for a mailbox PR_MAILBOX_OWNER_ENTRYID and PR_MAILBOX_OWNER_NAME_W.
struct Store {
    StoreKind kind = StoreKind::Mailbox;
    std::size_t owner = 0;  // mailboxes: index of the owner in Organisation::gal
    std::string serverName;
    cfb::Guid guid{};
    EntryId entryId;
    cfb::MsgPropertyList properties;
    Folder root;
    EntryId receiveFolder;  // the Inbox, the receive folder of every message class; empty if none
    // The names of the folders' named properties: ids from 0x8000, in order of first use. Each
    // message read has a mapping of its own.
    std::vector<cfb::MsgNamedProperty> namedProperties;
    std::shared_ptr<const MessageSource> source;  // reads the folders' messages
};

// Where an object of the organisation is: enough to reach it from Organisation.
struct ObjectLocation {
    EntryIdKind kind = EntryIdKind::AddressBook;
    std::size_t galIndex = 0;                // AddressBook (npos: the GAL container)
    std::size_t storeIndex = 0;              // Store, Folder, Message
    std::vector<std::size_t> folderPath;     // Folder, Message: child indices from the store's root
    bool associated = false;                 // Message
    std::size_t messageIndex = 0;            // Message
};

class Organisation {
public:
    std::string path;  // the organisation file, as given
    std::string name;  // the organisation's name, or empty
    std::vector<GalEntry> gal;  // in file order
    EntryId galEntryId;         // the Global Address List container
    std::vector<Store> stores;  // the mailboxes in file order, then the public folders if any
    // Certificate stores by name in lower case ("addressbook"): the DER certificates of each.
    std::map<std::string, std::vector<std::vector<std::uint8_t>>> certificateStores;

    // Indexes the entry identifiers; the reader calls it once the organisation is complete.
    void BuildIndex();

    std::optional<ObjectLocation> Locate(std::span<const std::uint8_t> entryId) const;
    const Folder* FolderAt(const ObjectLocation& location) const;
    const Message* MessageAt(const ObjectLocation& location) const;
    // The entry identifier of the message at `location`; empty when there is none.
    EntryId MessageEntryId(const ObjectLocation& location) const;

    // Reads the message at `location` through its store's source and sets its derived properties.
    // On failure `error` names the file and the place; MAPI_E_NOT_FOUND when there is no message.
    HRESULT ReadMessage(const ObjectLocation& location, cfb::MsgDocument& document, std::string& error) const;
    // PR_CONTENT_UNREAD of the folder at `location`: its messages without MSGFLAG_READ, each read
    // in turn; one that cannot be read counts as unread.
    std::size_t UnreadMessages(const ObjectLocation& location) const;

    // Look-ups without regard to letter case; nullopt when nothing matches.
    std::optional<std::size_t> FindGalEntryByDn(std::string_view dn) const;
    std::optional<std::size_t> FindGalEntryBySmtpAddress(std::string_view address) const;
    std::optional<std::size_t> FindMailboxStore(std::string_view mailboxDn) const;
    std::optional<std::size_t> FindPublicStore() const;

private:
    std::map<EntryId, ObjectLocation> index_;
    std::map<std::string, std::size_t> galByDn_;
    std::map<std::string, std::size_t> galBySmtp_;

    void IndexFolder(std::size_t storeIndex, Folder& folder, std::vector<std::size_t>& path);
    // A message's identifier is not kept in index_ but found through its folder and its counter.
    std::optional<ObjectLocation> LocateMessage(const ParsedEntryId& parsed, std::span<const std::uint8_t> entryId) const;
};

} // namespace platform::orgsource
