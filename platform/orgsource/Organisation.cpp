// Look-ups in a loaded organisation (by entry identifier, DN and SMTP address), and its messages
// read through their stores' sources.
#include "platform/orgsource/Organisation.h"

#include "platform/orgsource/PropertyReader.h"

#include <algorithm>
#include <cctype>

namespace platform::orgsource {
namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<std::size_t> Find(const std::map<std::string, std::size_t>& map, std::string_view key)
{
    auto found = map.find(Lower(key));
    if (found == map.end()) {
        return std::nullopt;
    }
    return found->second;
}

// The counter of the message at `position` of a folder's byCounter order.
std::uint64_t CounterAt(const Folder& folder, std::uint32_t position)
{
    std::size_t count = folder.messages.size();
    return position < count ? folder.messages[position].counter : folder.associated[position - count].counter;
}

// The properties every message gets from its place in the organisation.
void FinishMessage(cfb::MsgMessage& message, const EntryId& entryId, const EntryId& folderId, bool associated)
{
    auto& p = message.properties;
    bool hasAttachments = !message.attachments.empty();
    const auto* flags = cfb::FindProperty(p, PR_MESSAGE_FLAGS);
    std::int64_t value = flags != nullptr ? flags->integer : 0;
    constexpr std::int64_t kDerivedFlags = MSGFLAG_HASATTACH | MSGFLAG_ASSOCIATED;
    value = (value & ~kDerivedFlags) | (hasAttachments ? MSGFLAG_HASATTACH : 0) | (associated ? MSGFLAG_ASSOCIATED : 0);
    std::vector<cfb::MsgProperty> placed;
    placed.reserve(5);
    placed.push_back(BinaryProperty(PR_ENTRYID, entryId));
    placed.push_back(BinaryProperty(PR_PARENT_ENTRYID, folderId));
    placed.push_back(IntegerProperty(PR_OBJECT_TYPE, MAPI_MESSAGE));
    placed.push_back(IntegerProperty(PR_HASATTACH, hasAttachments ? 1 : 0));
    if (flags != nullptr || value != 0) {
        placed.push_back(IntegerProperty(PR_MESSAGE_FLAGS, value));
    }
    SetProperties(p, std::move(placed));
}

} // namespace

void Organisation::BuildIndex()
{
    index_.clear();
    galByDn_.clear();
    galBySmtp_.clear();
    ObjectLocation galLocation;
    galLocation.galIndex = static_cast<std::size_t>(-1);
    index_.emplace(galEntryId, galLocation);
    for (std::size_t i = 0; i < gal.size(); ++i) {
        ObjectLocation location;
        location.galIndex = i;
        index_.emplace(gal[i].entryId, location);
        galByDn_.emplace(Lower(gal[i].dn), i);
        galBySmtp_.emplace(Lower(gal[i].smtpAddress), i);
    }
    for (std::size_t s = 0; s < stores.size(); ++s) {
        ObjectLocation location;
        location.kind = EntryIdKind::Store;
        location.storeIndex = s;
        index_.emplace(stores[s].entryId, location);
        std::vector<std::size_t> path;
        IndexFolder(s, stores[s].root, path);
    }
}

void Organisation::IndexFolder(std::size_t storeIndex, Folder& folder, std::vector<std::size_t>& path)
{
    ObjectLocation location;
    location.kind = EntryIdKind::Folder;
    location.storeIndex = storeIndex;
    location.folderPath = path;
    index_.emplace(folder.entryId, location);
    // Messages are found by their counters rather than kept in index_, so that a folder of any size
    // costs a few bytes per message.
    folder.byCounter.resize(folder.messages.size() + folder.associated.size());
    for (std::size_t i = 0; i < folder.byCounter.size(); ++i) {
        folder.byCounter[i] = static_cast<std::uint32_t>(i);
    }
    std::sort(folder.byCounter.begin(), folder.byCounter.end(),
              [&](std::uint32_t a, std::uint32_t b) { return CounterAt(folder, a) < CounterAt(folder, b); });
    for (std::size_t c = 0; c < folder.folders.size(); ++c) {
        path.push_back(c);
        IndexFolder(storeIndex, folder.folders[c], path);
        path.pop_back();
    }
}

std::optional<ObjectLocation> Organisation::Locate(std::span<const std::uint8_t> entryId) const
{
    auto found = index_.find(EntryId(entryId.begin(), entryId.end()));
    if (found != index_.end()) {
        return found->second;
    }
    // Identifiers built elsewhere may differ in letter case or in the server name.
    auto parsed = ParseEntryId(entryId);
    if (!parsed) {
        return std::nullopt;
    }
    if (parsed->kind == EntryIdKind::Message) {
        return LocateMessage(*parsed, entryId);
    }
    ObjectLocation location;
    location.kind = parsed->kind;
    if (parsed->kind == EntryIdKind::AddressBook) {
        auto index = FindGalEntryByDn(parsed->dn);
        if (!index) {
            return std::nullopt;
        }
        location.galIndex = *index;
        return location;
    }
    if (parsed->kind != EntryIdKind::Store) {
        return std::nullopt;
    }
    auto index = parsed->storeKind == StoreKind::Mailbox ? FindMailboxStore(parsed->dn) : FindPublicStore();
    if (!index) {
        return std::nullopt;
    }
    location.storeIndex = *index;
    return location;
}

std::optional<ObjectLocation> Organisation::LocateMessage(const ParsedEntryId& parsed,
                                                          std::span<const std::uint8_t> entryId) const
{
    auto folderFound = index_.find(MakeFolderEntryId(parsed.storeKind, parsed.storeGuid, parsed.folderCounter));
    if (folderFound == index_.end() || folderFound->second.kind != EntryIdKind::Folder) {
        return std::nullopt;
    }
    ObjectLocation location = folderFound->second;
    const Folder* folder = FolderAt(location);
    if (folder == nullptr) {
        return std::nullopt;
    }
    auto position = std::lower_bound(folder->byCounter.begin(), folder->byCounter.end(), parsed.messageCounter,
                                     [&](std::uint32_t at, std::uint64_t counter) { return CounterAt(*folder, at) < counter; });
    if (position == folder->byCounter.end() || CounterAt(*folder, *position) != parsed.messageCounter) {
        return std::nullopt;
    }
    const std::size_t count = folder->messages.size();
    location.kind = EntryIdKind::Message;
    location.associated = *position >= count;
    location.messageIndex = location.associated ? *position - count : *position;
    // Only the identifier itself names the message, as it did when every identifier was kept.
    EntryId expected = MessageEntryId(location);
    if (!std::equal(entryId.begin(), entryId.end(), expected.begin(), expected.end())) {
        return std::nullopt;
    }
    return location;
}

const Folder* Organisation::FolderAt(const ObjectLocation& location) const
{
    if (location.kind != EntryIdKind::Folder && location.kind != EntryIdKind::Message) {
        return nullptr;
    }
    if (location.storeIndex >= stores.size()) {
        return nullptr;
    }
    const Folder* folder = &stores[location.storeIndex].root;
    for (std::size_t child : location.folderPath) {
        if (child >= folder->folders.size()) {
            return nullptr;
        }
        folder = &folder->folders[child];
    }
    return folder;
}

const Message* Organisation::MessageAt(const ObjectLocation& location) const
{
    const Folder* folder = location.kind == EntryIdKind::Message ? FolderAt(location) : nullptr;
    if (folder == nullptr) {
        return nullptr;
    }
    const auto& messages = location.associated ? folder->associated : folder->messages;
    return location.messageIndex < messages.size() ? &messages[location.messageIndex] : nullptr;
}

EntryId Organisation::MessageEntryId(const ObjectLocation& location) const
{
    const Message* message = MessageAt(location);
    if (message == nullptr) {
        return {};
    }
    const Store& store = stores[location.storeIndex];
    return MakeMessageEntryId(store.kind, store.guid, FolderAt(location)->counter, message->counter);
}

HRESULT Organisation::ReadMessage(const ObjectLocation& location, cfb::MsgDocument& document, std::string& error) const
{
    document = cfb::MsgDocument();
    const Message* message = MessageAt(location);
    const Store* store = message != nullptr ? &stores[location.storeIndex] : nullptr;
    if (store == nullptr || store->source == nullptr) {
        error = path + ": no such message";
        return MAPI_E_NOT_FOUND;
    }
    const Folder& folder = *FolderAt(location);
    HRESULT status = store->source->Read(folder, *message, location.associated, document, error);
    if (FAILED(status)) {
        document = cfb::MsgDocument();
        return status;
    }
    try {
        FinishMessage(document.message, MessageEntryId(location), folder.entryId, location.associated);
    } catch (const std::bad_alloc&) {
        document = cfb::MsgDocument();
        error = path + ": out of memory";
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::size_t Organisation::UnreadMessages(const ObjectLocation& location) const
{
    const Folder* folder = location.kind == EntryIdKind::Folder ? FolderAt(location) : nullptr;
    if (folder == nullptr) {
        return 0;
    }
    ObjectLocation message = location;
    message.kind = EntryIdKind::Message;
    std::size_t unread = 0;
    for (message.messageIndex = 0; message.messageIndex < folder->messages.size(); ++message.messageIndex) {
        cfb::MsgDocument document;
        std::string error;
        const cfb::MsgProperty* flags = nullptr;
        if (SUCCEEDED(ReadMessage(message, document, error))) {
            flags = cfb::FindProperty(document.message.properties, PR_MESSAGE_FLAGS);
        }
        unread += flags == nullptr || (flags->integer & MSGFLAG_READ) == 0 ? 1 : 0;
    }
    return unread;
}

std::optional<std::size_t> Organisation::FindGalEntryByDn(std::string_view dn) const
{
    return Find(galByDn_, dn);
}

std::optional<std::size_t> Organisation::FindGalEntryBySmtpAddress(std::string_view address) const
{
    return Find(galBySmtp_, address);
}

std::optional<std::size_t> Organisation::FindMailboxStore(std::string_view mailboxDn) const
{
    for (std::size_t s = 0; s < stores.size(); ++s) {
        const Store& store = stores[s];
        if (store.kind == StoreKind::Mailbox && store.owner < gal.size() && Lower(gal[store.owner].dn) == Lower(mailboxDn)) {
            return s;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> Organisation::FindPublicStore() const
{
    for (std::size_t s = 0; s < stores.size(); ++s) {
        if (stores[s].kind == StoreKind::PublicFolders) {
            return s;
        }
    }
    return std::nullopt;
}

} // namespace platform::orgsource
