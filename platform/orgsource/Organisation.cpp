// Look-ups in a loaded organisation: by entry identifier, DN and SMTP address.
#include "platform/orgsource/Organisation.h"

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

void Organisation::IndexFolder(std::size_t storeIndex, const Folder& folder, std::vector<std::size_t>& path)
{
    ObjectLocation location;
    location.kind = EntryIdKind::Folder;
    location.storeIndex = storeIndex;
    location.folderPath = path;
    index_.emplace(folder.entryId, location);
    location.kind = EntryIdKind::Message;
    for (bool associated : {false, true}) {
        const auto& messages = associated ? folder.associated : folder.messages;
        location.associated = associated;
        for (std::size_t m = 0; m < messages.size(); ++m) {
            location.messageIndex = m;
            index_.emplace(messages[m].entryId, location);
        }
    }
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
