// Reading the stores and their folder trees, and deriving the folders' and messages' identifiers.
#include "platform/orgsource/StoreReader.h"

#include "platform/orgsource/JsonHelpers.h"
#include "platform/orgsource/ReadError.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <limits>
#include <vector>

namespace platform::orgsource {
namespace {

constexpr int kMaxFolderDepth = 64;

// A special folder: its name in the file and the property that points at it, on the store
// (outbox, sent items, deleted items) or on the root folder and the Inbox (the others).
struct SpecialFolderInfo {
    SpecialFolder kind;
    std::string_view name;
    std::uint32_t tag;  // 0 for the Inbox, which is the receive folder instead
    bool onStore;
};

constexpr SpecialFolderInfo kSpecialFolders[] = {
    {SpecialFolder::Inbox, "inbox", 0, false},
    {SpecialFolder::Outbox, "outbox", PR_IPM_OUTBOX_ENTRYID, true},
    {SpecialFolder::SentItems, "sentItems", PR_IPM_SENTMAIL_ENTRYID, true},
    {SpecialFolder::DeletedItems, "deletedItems", PR_IPM_WASTEBASKET_ENTRYID, true},
    {SpecialFolder::Calendar, "calendar", PR_IPM_APPOINTMENT_ENTRYID, false},
    {SpecialFolder::Contacts, "contacts", PR_IPM_CONTACT_ENTRYID, false},
    {SpecialFolder::Journal, "journal", PR_IPM_JOURNAL_ENTRYID, false},
    {SpecialFolder::Notes, "notes", PR_IPM_NOTE_ENTRYID, false},
    {SpecialFolder::Tasks, "tasks", PR_IPM_TASK_ENTRYID, false},
    {SpecialFolder::Drafts, "drafts", PR_IPM_DRAFTS_ENTRYID, false},
};

// The last element of a file reference, which names a message or folder made from it.
std::string FileName(const std::string& reference)
{
    std::string name = std::filesystem::path(reference).filename().string();
    return name.empty() ? reference : name;
}

Folder* FindSpecial(Folder& folder, SpecialFolder kind)
{
    if (folder.special == kind) {
        return &folder;
    }
    for (auto& child : folder.folders) {
        if (Folder* found = FindSpecial(child, kind)) {
            return found;
        }
    }
    return nullptr;
}

void AddChild(Folder& parent, Folder child, const std::string& path)
{
    for (const auto& sibling : parent.folders) {
        if (Lower(sibling.name) == Lower(child.name)) {
            Fail(MAPI_E_COLLISION, path, "a folder named " + Quoted(child.name) + " is already in this folder");
        }
    }
    parent.folders.push_back(std::move(child));
}

} // namespace

void StoreReader::ReadMailbox(const Json& json, const std::string& path)
{
    CheckMembers(json, path, {"user", "folders", "pst", "codePage"});
    std::string user = RequiredString(json, "user", path);
    auto owner = gal_.FindGalEntry(user);
    if (!owner) {
        Fail(MAPI_E_NOT_FOUND, MemberPath(path, "user"), "no GAL entry has the DN, address or account " + Quoted(user));
    }
    const GalEntry& entry = organisation_.gal[*owner];
    if (entry.kind != GalEntryKind::MailUser) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, "user"), Quoted(user) + " is not a mail user");
    }
    for (const auto& store : organisation_.stores) {
        if (store.owner == *owner) {
            Fail(MAPI_E_COLLISION, MemberPath(path, "user"), Quoted(user) + " has a mailbox already");
        }
    }
    Store store;
    store.kind = StoreKind::Mailbox;
    store.owner = *owner;
    store.serverName = ServerNameFromDn(entry.homeMdb.empty() ? entry.homeMta : entry.homeMdb);
    store.guid = StoreGuid(StoreKind::Mailbox, entry.dn);
    store.entryId = MakeStoreEntryId(StoreKind::Mailbox, store.serverName, entry.dn);
    ReadStore(store, json, path, "Top of Information Store");
}

void StoreReader::ReadPublicFolders(const Json& json, const std::string& path)
{
    CheckMembers(json, path, {"server", "folders", "pst", "codePage"});
    Store store;
    store.kind = StoreKind::PublicFolders;
    store.serverName = OptionalString(json, "server", path).value_or("");
    store.guid = StoreGuid(StoreKind::PublicFolders, "");
    store.entryId = MakeStoreEntryId(StoreKind::PublicFolders, store.serverName, "");
    ReadStore(store, json, path, "IPM_SUBTREE");
}

void StoreReader::ReadStore(Store& store, const Json& json, const std::string& path, const std::string& subtreeName)
{
    store_ = &store;
    store.source = files_;
    named_ = std::make_unique<NamedPropertyMap>(store.namedProperties);
    counters_.clear();
    specials_.clear();
    store.root = NewFolder("", "");
    Folder subtree = NewFolder(subtreeName, store.root.name);
    if (const Json* folders = OptionalArray(json, "folders", path)) {
        ReadChildFolders(*folders, MemberPath(path, "folders"), subtree, std::string(1, '\0') + subtreeName, 2);
    }
    if (Member(json, "pst") != nullptr) {
        ReadDataFile(json, path, subtree, std::string(1, '\0') + subtreeName);
    } else if (Member(json, "codePage") != nullptr) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, "codePage"), "a code page is only of use with \"pst\"");
    }
    store.root.folders.push_back(std::move(subtree));
    FinishFolder(store.root, store.root.entryId, true);
    DeriveStoreProperties(store);
    organisation_.stores.push_back(std::move(store));
    store_ = nullptr;
}

void StoreReader::DeriveStoreProperties(Store& store)
{
    auto& p = store.properties;
    Bytes recordKey(store.guid.begin(), store.guid.end());
    SetProperty(p, BinaryProperty(PR_ENTRYID, store.entryId));
    SetProperty(p, BinaryProperty(PR_RECORD_KEY, recordKey));
    SetProperty(p, BinaryProperty(PR_STORE_RECORD_KEY, recordKey));
    SetProperty(p, IntegerProperty(PR_OBJECT_TYPE, MAPI_STORE));
    cfb::Guid provider = StoreProviderUid(store.kind);
    SetProperty(p, BinaryProperty(PR_MDB_PROVIDER, Bytes(provider.begin(), provider.end())));
    SetProperty(p, BinaryProperty(PR_IPM_SUBTREE_ENTRYID, store.root.folders.front().entryId));
    if (store.kind == StoreKind::Mailbox) {
        const GalEntry& owner = organisation_.gal[store.owner];
        SetProperty(p, TextProperty(PR_DISPLAY_NAME_W, Utf16("Mailbox - " + owner.displayName)));
        SetProperty(p, BinaryProperty(PR_MAILBOX_OWNER_ENTRYID, owner.entryId));
        SetProperty(p, TextProperty(PR_MAILBOX_OWNER_NAME_W, Utf16(owner.displayName)));
    } else {
        SetProperty(p, TextProperty(PR_DISPLAY_NAME_W, u"Public Folders"));
    }
    SetSpecialFolderIds(store, store.root);
}

void StoreReader::SetSpecialFolderIds(Store& store, const Folder& folder)
{
    for (const auto& info : kSpecialFolders) {
        if (info.kind != folder.special || info.tag == 0) {
            continue;
        }
        if (info.onStore) {
            SetProperty(store.properties, BinaryProperty(info.tag, folder.entryId));
            continue;
        }
        SetProperty(store.root.properties, BinaryProperty(info.tag, folder.entryId));
        if (Folder* inbox = FindSpecial(store.root, SpecialFolder::Inbox)) {
            SetProperty(inbox->properties, BinaryProperty(info.tag, folder.entryId));
        }
    }
    for (const auto& child : folder.folders) {
        SetSpecialFolderIds(store, child);
    }
}

std::uint64_t StoreReader::NewCounter(const std::string& name)
{
    std::uint64_t counter = CounterFromName(name);
    while (!counters_.insert(counter).second) {
        counter = counter % 0xFFFFFFFFFFFFull + 1;
    }
    return counter;
}

Folder StoreReader::NewFolder(const std::string& name, const std::string& parentKey)
{
    Folder folder;
    folder.name = name;
    folder.counter = NewCounter("folder" + parentKey + std::string(1, '\0') + name);
    folder.entryId = MakeFolderEntryId(store_->kind, store_->guid, folder.counter);
    folder.locator = files_->AddFolder();
    return folder;
}

void StoreReader::ReadChildFolders(const Json& folders, const std::string& path, Folder& parent,
                                   const std::string& parentKey, int depth)
{
    for (std::size_t i = 0; i < folders.size(); ++i) {
        std::string childPath = ElementPath(path, i);
        Folder child = ReadFolder(folders[i], childPath, parentKey, depth);
        AddChild(parent, std::move(child), childPath);
    }
}

Folder StoreReader::ReadFolder(const Json& json, const std::string& path, const std::string& parentKey, int depth)
{
    if (depth > kMaxFolderDepth) {
        Fail(MAPI_E_TOO_BIG, path, "folders are nested too deeply");
    }
    if (json.is_string()) {
        const auto& directory = json.get_ref<const std::string&>();
        Folder folder = NewFolder(FileName(directory), parentKey);
        ReadDirectory(directory, path, folder, parentKey + std::string(1, '\0') + folder.name, depth);
        return folder;
    }
    CheckMembers(json, path, {"name", "class", "special", "properties", "messages", "associated", "folders", "directory",
                              "cannotOpen"});
    auto directory = OptionalString(json, "directory", path);
    std::string name = directory ? OptionalString(json, "name", path).value_or(FileName(*directory))
                                 : RequiredString(json, "name", path);
    if (name.empty()) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, "name"), "a folder name cannot be empty");
    }
    Folder folder = NewFolder(name, parentKey);
    files_->SetFolderObject(folder.locator, json, path);
    std::string key = parentKey + std::string(1, '\0') + name;
    if (const Json* properties = Member(json, "properties")) {
        folder.properties = ReadPropertyObject(*properties, MemberPath(path, "properties"), named_.get(), source_);
    }
    if (auto folderClass = OptionalString(json, "class", path)) {
        SetProperty(folder.properties, TextProperty(PR_CONTAINER_CLASS_W, Utf16(*folderClass)));
    }
    if (auto special = OptionalString(json, "special", path)) {
        MarkSpecial(folder, *special, MemberPath(path, "special"));
    }
    if (const Json* cannotOpen = Member(json, "cannotOpen")) {
        if (!cannotOpen->is_boolean())
            Fail(MAPI_E_BAD_VALUE, MemberPath(path, "cannotOpen"), "expected true or false");
        folder.openFails = cannotOpen->get<bool>();
    }
    std::set<std::string> keys;
    for (bool associated : {false, true}) {
        const char* member = associated ? "associated" : "messages";
        if (const Json* messages = OptionalArray(json, member, path)) {
            for (std::size_t i = 0; i < messages->size(); ++i) {
                AddMessage(folder, (*messages)[i], ElementPath(MemberPath(path, member), i), key, keys, associated);
            }
        }
    }
    if (const Json* folders = OptionalArray(json, "folders", path)) {
        ReadChildFolders(*folders, MemberPath(path, "folders"), folder, key, depth + 1);
    }
    if (directory) {
        ReadDirectory(*directory, MemberPath(path, "directory"), folder, key, depth, &keys);
    }
    return folder;
}

void StoreReader::MarkSpecial(Folder& folder, const std::string& name, const std::string& path)
{
    auto info = std::find_if(std::begin(kSpecialFolders), std::end(kSpecialFolders),
                             [&](const SpecialFolderInfo& entry) { return entry.name == name; });
    if (info == std::end(kSpecialFolders)) {
        Fail(MAPI_E_BAD_VALUE, path, "unknown special folder " + Quoted(name));
    }
    if (store_->kind != StoreKind::Mailbox) {
        Fail(MAPI_E_BAD_VALUE, path, "the public folders have no special folders");
    }
    if (!specials_.insert(info->kind).second) {
        Fail(MAPI_E_COLLISION, path, "the mailbox has a " + Quoted(name) + " folder already");
    }
    folder.special = info->kind;
    if (info->kind == SpecialFolder::Inbox) {
        store_->receiveFolder = folder.entryId;
    }
}

void StoreReader::ReadDirectory(const std::string& reference, const std::string& path, Folder& folder,
                                const std::string& key, int depth, std::set<std::string>* existingKeys)
{
    std::error_code error;
    // Absolute, so that the file names found here are not taken relative to the base again.
    std::filesystem::path directory = std::filesystem::absolute(ResolveFile(reference, path, source_), error);
    // The entries keep the types the directory listing gave, so that a large folder costs no
    // status call per file.
    std::vector<std::filesystem::directory_entry> entries;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    if (error) {
        Fail(HResultFromErrno(error.value()), path, "cannot read the directory " + directory.string() + ": " + error.message());
    }
    files_->SetDirectory(folder.locator, directory.string(), path);
    std::sort(entries.begin(), entries.end());
    std::set<std::string> ownKeys;
    std::set<std::string>& keys = existingKeys != nullptr ? *existingKeys : ownKeys;
    for (const auto& entry : entries) {
        std::string name = entry.path().filename().string();
        // Symbolic links to directories are not followed, so that a link loop cannot recurse.
        if (!entry.is_symlink(error) && entry.is_directory(error)) {
            if (depth + 1 > kMaxFolderDepth) {
                Fail(MAPI_E_TOO_BIG, path, "folders are nested too deeply");
            }
            Folder child = NewFolder(name, key);
            ReadDirectory((directory / name).string(), path, child, key + std::string(1, '\0') + name, depth + 1);
            AddChild(folder, std::move(child), path);
            continue;
        }
        if (Lower(entry.path().extension().string()) == ".msg" && entry.is_regular_file(error)) {
            AddToIndex(folder, Message{0, name, OrganisationFileSource::kInDirectory}, path, key, keys, false);
        }
    }
}

void StoreReader::FinishFolder(Folder& folder, const EntryId& parentId, bool isRoot)
{
    auto& p = folder.properties;
    SetProperty(p, BinaryProperty(PR_ENTRYID, folder.entryId));
    SetProperty(p, BinaryProperty(PR_PARENT_ENTRYID, parentId));
    SetProperty(p, IntegerProperty(PR_OBJECT_TYPE, MAPI_FOLDER));
    SetProperty(p, TextProperty(PR_DISPLAY_NAME_W, Utf16(folder.name)));
    SetProperty(p, IntegerProperty(PR_FOLDER_TYPE, isRoot ? FOLDER_ROOT : FOLDER_GENERIC));
    SetProperty(p, IntegerProperty(PR_CONTENT_COUNT, static_cast<std::int64_t>(folder.messages.size())));
    SetProperty(p, IntegerProperty(PR_ASSOC_CONTENT_COUNT, static_cast<std::int64_t>(folder.associated.size())));
    SetProperty(p, IntegerProperty(PR_SUBFOLDERS, folder.folders.empty() ? 0 : 1));
    for (auto& child : folder.folders) {
        FinishFolder(child, folder.entryId, false);
    }
}

void StoreReader::AddMessage(Folder& folder, const Json& json, const std::string& path, const std::string& folderKey,
                             std::set<std::string>& keys, bool associated)
{
    const std::size_t position = (associated ? folder.associated : folder.messages).size();
    Message message{0, "", position};
    std::string keyPath = path;
    if (json.is_string()) {
        message.key = FileName(json.get<std::string>());
    } else {
        CheckMembers(json, path, {"id", "msg", "properties", "recipients", "attachments"});
        if (auto id = OptionalString(json, "id", path)) {
            message.key = *id;
            keyPath = MemberPath(path, "id");
        } else if (auto msg = OptionalString(json, "msg", path)) {
            message.key = FileName(*msg);
        }
    }
    AddToIndex(folder, std::move(message), keyPath, folderKey, keys, associated);
}

void StoreReader::AddToIndex(Folder& folder, Message message, const std::string& keyPath, const std::string& folderKey,
                             std::set<std::string>& keys, bool associated)
{
    if (folder.messages.size() + folder.associated.size() >= std::numeric_limits<std::uint32_t>::max()) {
        Fail(MAPI_E_TOO_BIG, keyPath, "a folder holds too many messages");
    }
    if (message.key.empty()) {
        message.key = "#" + std::to_string(folder.messages.size() + folder.associated.size());
    }
    if (!keys.insert(message.key).second) {
        Fail(MAPI_E_COLLISION, keyPath, "the message id " + Quoted(message.key) + " is used twice in this folder");
    }
    message.counter = NewCounter("message" + folderKey + std::string(1, '\0') + message.key);
    (associated ? folder.associated : folder.messages).push_back(std::move(message));
}

} // namespace platform::orgsource
