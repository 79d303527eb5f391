// The organisation file reader: JSON syntax, the GAL, the stores and their folder trees, messages
// from property lists and from .msg files, and the identifiers and properties derived from them.
#include "platform/orgsource/OrganisationReader.h"

#include "platform/cfb/MsgFile.h"
#include "platform/orgsource/PropertyReader.h"
#include "platform/orgsource/ReadError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>

namespace platform::orgsource {
namespace {

constexpr int kMaxFolderDepth = 64;
constexpr int kMaxMessageDepth = 32;
constexpr std::int64_t kFormatVersion = 1;


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

[[noreturn]] void Fail(HRESULT status, const std::string& path, const std::string& message)
{
    throw ReadError{status, path, message};
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string Upper(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::u16string Utf16(const std::string& text)
{
    return Utf8ToUtf16(text).value_or(std::u16string());
}

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

// Members of `object` that are not in `allowed` (or "comment") are refused, so that a misspelt
// member does not pass unnoticed.
void CheckMembers(const Json& object, const std::string& path, std::initializer_list<std::string_view> allowed)
{
    if (!object.is_object()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected an object");
    }
    for (const auto& [key, value] : object.items()) {
        if (key == "comment" || std::find(allowed.begin(), allowed.end(), key) != allowed.end()) {
            continue;
        }
        Fail(MAPI_E_INVALID_PARAMETER, MemberPath(path, key), "unknown member");
    }
}

const Json* Member(const Json& object, std::string_view name)
{
    auto found = object.find(std::string(name));
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::string> OptionalString(const Json& object, std::string_view name, const std::string& path)
{
    const Json* value = Member(object, name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, std::string(name)), "expected a string");
    }
    return value->get<std::string>();
}

std::string RequiredString(const Json& object, std::string_view name, const std::string& path)
{
    auto value = OptionalString(object, name, path);
    if (!value || value->empty()) {
        Fail(MAPI_E_BAD_VALUE, path, "missing " + Quoted(name));
    }
    return *value;
}

const Json* OptionalArray(const Json& object, std::string_view name, const std::string& path)
{
    const Json* value = Member(object, name);
    if (value != nullptr && !value->is_array()) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, std::string(name)), "expected an array");
    }
    return value;
}

bool IsPrintableAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The last element of a file reference, which names a message or folder made from it.
std::string FileName(const std::string& reference)
{
    std::string name = std::filesystem::path(reference).filename().string();
    return name.empty() ? reference : name;
}

// The syntax check, which also refuses a key given twice in one object (the JSON library would
// keep only the last one).
class KeyTracker {
public:
    bool operator()(int, Json::parse_event_t event, Json& parsed)
    {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            CountElement();
            frames_.push_back(Frame{event == Json::parse_event_t::array_start, 0, {}, {}});
            break;
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            frames_.pop_back();
            break;
        case Json::parse_event_t::key: {
            Frame& frame = frames_.back();
            const auto& key = parsed.get_ref<const std::string&>();
            if (!frame.keys.insert(key).second) {
                Fail(MAPI_E_CORRUPT_DATA, MemberPath(PathOfTop(), key), "the key is given twice");
            }
            frame.key = key;
            break;
        }
        case Json::parse_event_t::value:
            CountElement();
            break;
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        std::size_t count;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> frames_;

    void CountElement()
    {
        if (!frames_.empty() && frames_.back().array) {
            ++frames_.back().count;
        }
    }

    std::string PathOfTop() const
    {
        std::string path;
        for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
            path = frames_[i].array ? ElementPath(path, frames_[i].count - 1) : MemberPath(path, frames_[i].key);
        }
        return path;
    }
};

Json Parse(std::string_view text)
{
    try {
        return Json::parse(text.begin(), text.end(), KeyTracker());
    } catch (const Json::parse_error& e) {
        std::string what = e.what();
        constexpr std::string_view kPrefix = "parse error at ";
        std::size_t start = what.find(kPrefix);
        Fail(MAPI_E_CORRUPT_DATA, "", start == std::string::npos ? what : what.substr(start + kPrefix.size()));
    }
}

class Reader {
public:
    Reader(const std::optional<std::string>& baseDirectory, Organisation& organisation)
        : source_{baseDirectory.value_or(""), baseDirectory.has_value()}, organisation_(organisation)
    {
    }

    void Read(const Json& root)
    {
        CheckMembers(root, "", {"formatVersion", "name", "gal", "mailboxes", "publicFolders"});
        if (const Json* version = Member(root, "formatVersion");
            version != nullptr && (!version->is_number_integer() || version->get<std::int64_t>() != kFormatVersion)) {
            Fail(MAPI_E_BAD_VALUE, "formatVersion", "only format version 1 is known");
        }
        organisation_.name = OptionalString(root, "name", "").value_or("");
        organisation_.galEntryId = MakeAddressBookEntryId(DT_GLOBAL, "");
        if (const Json* gal = OptionalArray(root, "gal", "")) {
            ReadGal(*gal, "gal");
        }
        if (const Json* mailboxes = OptionalArray(root, "mailboxes", "")) {
            for (std::size_t i = 0; i < mailboxes->size(); ++i) {
                ReadMailbox((*mailboxes)[i], ElementPath("mailboxes", i));
            }
        }
        if (const Json* publicFolders = Member(root, "publicFolders")) {
            ReadPublicFolders(*publicFolders, "publicFolders");
        }
    }

private:
    ValueSource source_;
    Organisation& organisation_;
    std::map<std::string, std::size_t> byDn_;
    std::map<std::string, std::size_t> bySmtp_;
    std::map<std::string, std::size_t> byAccount_;
    // The store being read.
    Store* store_ = nullptr;
    std::unique_ptr<NamedPropertyMap> named_;
    std::set<std::uint64_t> counters_;
    std::set<SpecialFolder> specials_;

    // --- Global Address List ---

    void ReadGal(const Json& gal, const std::string& path)
    {
        std::vector<std::pair<std::size_t, const Json*>> lists;
        for (std::size_t i = 0; i < gal.size(); ++i) {
            const Json* members = ReadGalEntry(gal[i], ElementPath(path, i));
            if (members != nullptr) {
                lists.emplace_back(i, members);
            }
        }
        // Members may name entries that come later in the file.
        for (const auto& [index, members] : lists) {
            ResolveMembers(index, *members, MemberPath(ElementPath(path, index), "members"));
        }
    }

    // Returns the entry's "members" for the second pass, or nullptr.
    const Json* ReadGalEntry(const Json& json, const std::string& path)
    {
        if (!json.is_object()) {
            Fail(MAPI_E_BAD_VALUE, path, "expected an object");
        }
        std::string kindName = RequiredString(json, "kind", path);
        GalEntry entry;
        if (kindName == "user") {
            entry.kind = GalEntryKind::MailUser;
            CheckMembers(json, path, {"kind", "dn", "smtp", "displayName", "account", "homeMdb", "homeMta", "properties"});
        } else if (kindName == "contact") {
            entry.kind = GalEntryKind::Contact;
            CheckMembers(json, path, {"kind", "dn", "smtp", "displayName", "account", "properties"});
        } else if (kindName == "list") {
            entry.kind = GalEntryKind::DistList;
            CheckMembers(json, path, {"kind", "dn", "smtp", "displayName", "account", "members", "cannotOpen", "properties"});
        } else {
            Fail(MAPI_E_BAD_VALUE, MemberPath(path, "kind"), "expected \"user\", \"contact\" or \"list\"");
        }
        entry.dn = RequiredString(json, "dn", path);
        if (!IsPrintableAscii(entry.dn)) {
            Fail(MAPI_E_BAD_VALUE, MemberPath(path, "dn"), "a DN is printable ASCII text");
        }
        entry.smtpAddress = RequiredString(json, "smtp", path);
        if (entry.smtpAddress.find('@') == std::string::npos || entry.smtpAddress.find(' ') != std::string::npos) {
            Fail(MAPI_E_BAD_VALUE, MemberPath(path, "smtp"), "expected an SMTP address");
        }
        entry.displayName = RequiredString(json, "displayName", path);
        entry.account = entry.kind == GalEntryKind::MailUser ? RequiredString(json, "account", path)
                                                              : OptionalString(json, "account", path).value_or("");
        entry.homeMdb = OptionalString(json, "homeMdb", path).value_or("");
        entry.homeMta = OptionalString(json, "homeMta", path).value_or("");
        if (const Json* cannotOpen = Member(json, "cannotOpen")) {
            if (!cannotOpen->is_boolean()) {
                Fail(MAPI_E_BAD_VALUE, MemberPath(path, "cannotOpen"), "expected true or false");
            }
            entry.openFails = cannotOpen->get<bool>();
        }
        if (const Json* properties = Member(json, "properties")) {
            entry.properties = ReadPropertyObject(*properties, MemberPath(path, "properties"), nullptr, source_);
        }
        std::size_t index = organisation_.gal.size();
        Register(byDn_, entry.dn, index, MemberPath(path, "dn"), "DN");
        Register(bySmtp_, entry.smtpAddress, index, MemberPath(path, "smtp"), "SMTP address");
        if (!entry.account.empty()) {
            Register(byAccount_, entry.account, index, MemberPath(path, "account"), "account");
        }
        DeriveGalProperties(entry);
        organisation_.gal.push_back(std::move(entry));
        return OptionalArray(json, "members", path);
    }

    void Register(std::map<std::string, std::size_t>& map, const std::string& key, std::size_t index,
                  const std::string& path, std::string_view what)
    {
        auto [found, inserted] = map.emplace(Lower(key), index);
        if (!inserted) {
            Fail(MAPI_E_COLLISION, path, "the " + std::string(what) + " " + Quoted(key) + " is already used by " +
                                          ElementPath("gal", found->second));
        }
    }

    static void DeriveGalProperties(GalEntry& entry)
    {
        std::uint32_t displayType = entry.kind == GalEntryKind::MailUser  ? DT_MAILUSER
                                    : entry.kind == GalEntryKind::Contact ? DT_REMOTE_MAILUSER
                                                                          : DT_DISTLIST;
        entry.entryId = MakeAddressBookEntryId(displayType, entry.dn);
        std::string searchKey = "EX:" + Upper(entry.dn);
        Bytes searchKeyBytes(searchKey.begin(), searchKey.end());
        searchKeyBytes.push_back(0);
        auto& p = entry.properties;
        SetProperty(p, BinaryProperty(PR_ENTRYID, entry.entryId));
        SetProperty(p, BinaryProperty(PR_RECORD_KEY, entry.entryId));
        SetProperty(p, BinaryProperty(PR_SEARCH_KEY, std::move(searchKeyBytes)));
        SetProperty(p, IntegerProperty(PR_OBJECT_TYPE, entry.kind == GalEntryKind::DistList ? MAPI_DISTLIST : MAPI_MAILUSER));
        SetProperty(p, IntegerProperty(PR_DISPLAY_TYPE, displayType));
        SetProperty(p, TextProperty(PR_ADDRTYPE_W, u"EX"));
        SetProperty(p, TextProperty(PR_EMAIL_ADDRESS_W, Utf16(entry.dn)));
        SetProperty(p, TextProperty(PR_SMTP_ADDRESS_W, Utf16(entry.smtpAddress)));
        SetProperty(p, TextProperty(PR_DISPLAY_NAME_W, Utf16(entry.displayName)));
        if (cfb::FindProperty(p, PR_MHS_COMMON_NAME_W) == nullptr) {
            SetProperty(p, TextProperty(PR_MHS_COMMON_NAME_W, Utf16(entry.displayName)));
        }
        if (!entry.account.empty()) {
            SetProperty(p, TextProperty(PR_ACCOUNT_W, Utf16(entry.account)));
        }
        if (!entry.homeMdb.empty()) {
            SetProperty(p, TextProperty(PR_EMS_AB_HOME_MDB_W, Utf16(entry.homeMdb)));
        }
        if (!entry.homeMta.empty()) {
            SetProperty(p, TextProperty(PR_EMS_AB_HOME_MTA_W, Utf16(entry.homeMta)));
        }
    }

    // A GAL entry named by its DN, SMTP address or account, without regard to letter case.
    std::optional<std::size_t> FindGalEntry(const std::string& reference) const
    {
        std::string key = Lower(reference);
        for (const auto* map : {&byDn_, &bySmtp_, &byAccount_}) {
            auto found = map->find(key);
            if (found != map->end()) {
                return found->second;
            }
        }
        return std::nullopt;
    }

    void ResolveMembers(std::size_t listIndex, const Json& members, const std::string& path)
    {
        auto& list = organisation_.gal[listIndex];
        for (std::size_t i = 0; i < members.size(); ++i) {
            std::string memberPath = ElementPath(path, i);
            if (!members[i].is_string()) {
                Fail(MAPI_E_BAD_VALUE, memberPath, "expected a string");
            }
            const auto& reference = members[i].get_ref<const std::string&>();
            auto member = FindGalEntry(reference);
            if (!member) {
                Fail(MAPI_E_NOT_FOUND, memberPath, "no GAL entry has the DN, address or account " + Quoted(reference));
            }
            if (*member == listIndex) {
                Fail(MAPI_E_BAD_VALUE, memberPath, "a list cannot be a member of itself");
            }
            if (std::find(list.members.begin(), list.members.end(), *member) != list.members.end()) {
                Fail(MAPI_E_COLLISION, memberPath, Quoted(reference) + " is already a member");
            }
            list.members.push_back(*member);
        }
    }

    // --- Stores ---

    void ReadMailbox(const Json& json, const std::string& path)
    {
        CheckMembers(json, path, {"user", "folders"});
        std::string user = RequiredString(json, "user", path);
        auto owner = FindGalEntry(user);
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

    void ReadPublicFolders(const Json& json, const std::string& path)
    {
        CheckMembers(json, path, {"server", "folders"});
        Store store;
        store.kind = StoreKind::PublicFolders;
        store.serverName = OptionalString(json, "server", path).value_or("");
        store.guid = StoreGuid(StoreKind::PublicFolders, "");
        store.entryId = MakeStoreEntryId(StoreKind::PublicFolders, store.serverName, "");
        ReadStore(store, json, path, "IPM_SUBTREE");
    }

    void ReadStore(Store& store, const Json& json, const std::string& path, const std::string& subtreeName)
    {
        store_ = &store;
        named_ = std::make_unique<NamedPropertyMap>(store.namedProperties);
        counters_.clear();
        specials_.clear();
        store.root = NewFolder("", "");
        Folder subtree = NewFolder(subtreeName, store.root.name);
        if (const Json* folders = OptionalArray(json, "folders", path)) {
            ReadChildFolders(*folders, MemberPath(path, "folders"), subtree, std::string(1, '\0') + subtreeName, 2);
        }
        store.root.folders.push_back(std::move(subtree));
        FinishFolder(store.root, store.root.entryId, true);
        DeriveStoreProperties(store);
        organisation_.stores.push_back(std::move(store));
        store_ = nullptr;
    }

    void DeriveStoreProperties(Store& store)
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

    // Points the store, the root folder and the Inbox at the special folders found in `folder`.
    void SetSpecialFolderIds(Store& store, const Folder& folder)
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

    static Folder* FindSpecial(Folder& folder, SpecialFolder kind)
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

    // --- Folders ---

    std::uint64_t NewCounter(const std::string& name)
    {
        std::uint64_t counter = CounterFromName(name);
        while (!counters_.insert(counter).second) {
            counter = counter % 0xFFFFFFFFFFFFull + 1;
        }
        return counter;
    }

    Folder NewFolder(const std::string& name, const std::string& parentKey)
    {
        Folder folder;
        folder.name = name;
        folder.counter = NewCounter("folder" + parentKey + std::string(1, '\0') + name);
        folder.entryId = MakeFolderEntryId(store_->kind, store_->guid, folder.counter);
        return folder;
    }

    void ReadChildFolders(const Json& folders, const std::string& path, Folder& parent, const std::string& parentKey,
                          int depth)
    {
        for (std::size_t i = 0; i < folders.size(); ++i) {
            std::string childPath = ElementPath(path, i);
            Folder child = ReadFolder(folders[i], childPath, parentKey, depth);
            AddChild(parent, std::move(child), childPath);
        }
    }

    static void AddChild(Folder& parent, Folder child, const std::string& path)
    {
        for (const auto& sibling : parent.folders) {
            if (Lower(sibling.name) == Lower(child.name)) {
                Fail(MAPI_E_COLLISION, path, "a folder named " + Quoted(child.name) + " is already in this folder");
            }
        }
        parent.folders.push_back(std::move(child));
    }

    Folder ReadFolder(const Json& json, const std::string& path, const std::string& parentKey, int depth)
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
        CheckMembers(json, path, {"name", "class", "special", "properties", "messages", "associated", "folders", "directory"});
        auto directory = OptionalString(json, "directory", path);
        std::string name = directory ? OptionalString(json, "name", path).value_or(FileName(*directory))
                                     : RequiredString(json, "name", path);
        if (name.empty()) {
            Fail(MAPI_E_BAD_VALUE, MemberPath(path, "name"), "a folder name cannot be empty");
        }
        Folder folder = NewFolder(name, parentKey);
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

    void MarkSpecial(Folder& folder, const std::string& name, const std::string& path)
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

    // The .msg files of a directory become the folder's messages, its subdirectories subfolders.
    void ReadDirectory(const std::string& reference, const std::string& path, Folder& folder, const std::string& key,
                       int depth, std::set<std::string>* existingKeys = nullptr)
    {
        std::error_code error;
        // Absolute, so that the file names found here are not taken relative to the base again.
        std::filesystem::path directory = std::filesystem::absolute(ResolveFile(reference, path, source_), error);
        std::vector<std::filesystem::path> entries;
        for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
            entries.push_back(it->path());
        }
        if (error) {
            Fail(HResultFromErrno(error.value()), path, "cannot read the directory " + directory.string() + ": " + error.message());
        }
        std::sort(entries.begin(), entries.end());
        std::set<std::string> ownKeys;
        std::set<std::string>& keys = existingKeys != nullptr ? *existingKeys : ownKeys;
        for (const auto& entry : entries) {
            std::string name = entry.filename().string();
            // Symbolic links to directories are not followed, so that a link loop cannot recurse.
            auto linkStatus = std::filesystem::symlink_status(entry, error);
            if (!error && std::filesystem::is_directory(linkStatus)) {
                if (depth + 1 > kMaxFolderDepth) {
                    Fail(MAPI_E_TOO_BIG, path, "folders are nested too deeply");
                }
                Folder child = NewFolder(name, key);
                ReadDirectory((directory / name).string(), path, child, key + std::string(1, '\0') + name, depth + 1);
                AddChild(folder, std::move(child), path);
                continue;
            }
            if (Lower(entry.extension().string()) == ".msg" && std::filesystem::is_regular_file(entry, error)) {
                AddMessage(folder, Json(entry.string()), path, key, keys, false);
            }
        }
    }

    void FinishFolder(Folder& folder, const EntryId& parentId, bool isRoot)
    {
        auto& p = folder.properties;
        SetProperty(p, BinaryProperty(PR_ENTRYID, folder.entryId));
        SetProperty(p, BinaryProperty(PR_PARENT_ENTRYID, parentId));
        SetProperty(p, IntegerProperty(PR_OBJECT_TYPE, MAPI_FOLDER));
        SetProperty(p, TextProperty(PR_DISPLAY_NAME_W, Utf16(folder.name)));
        SetProperty(p, IntegerProperty(PR_FOLDER_TYPE, isRoot ? FOLDER_ROOT : FOLDER_GENERIC));
        std::int64_t unread = 0;
        for (bool associated : {false, true}) {
            for (auto& message : associated ? folder.associated : folder.messages) {
                FinishMessage(message, folder.entryId, associated);
                const auto* flags = cfb::FindProperty(message.message.properties, PR_MESSAGE_FLAGS);
                unread += !associated && (flags == nullptr || (flags->integer & MSGFLAG_READ) == 0) ? 1 : 0;
            }
        }
        SetProperty(p, IntegerProperty(PR_CONTENT_COUNT, static_cast<std::int64_t>(folder.messages.size())));
        SetProperty(p, IntegerProperty(PR_CONTENT_UNREAD, unread));
        SetProperty(p, IntegerProperty(PR_ASSOC_CONTENT_COUNT, static_cast<std::int64_t>(folder.associated.size())));
        SetProperty(p, IntegerProperty(PR_SUBFOLDERS, folder.folders.empty() ? 0 : 1));
        for (auto& child : folder.folders) {
            FinishFolder(child, folder.entryId, false);
        }
    }

    // --- Messages ---

    void AddMessage(Folder& folder, const Json& json, const std::string& path, const std::string& folderKey,
                    std::set<std::string>& keys, bool associated)
    {
        auto& list = associated ? folder.associated : folder.messages;
        Message message;
        std::string keyPath = path;
        if (json.is_string()) {
            message.key = FileName(json.get<std::string>());
        } else if (json.is_object()) {
            if (auto id = OptionalString(json, "id", path)) {
                message.key = *id;
                keyPath = MemberPath(path, "id");
            } else if (auto msg = OptionalString(json, "msg", path)) {
                message.key = FileName(*msg);
            }
        }
        if (message.key.empty()) {
            message.key = "#" + std::to_string(folder.messages.size() + folder.associated.size());
        }
        if (!keys.insert(message.key).second) {
            Fail(MAPI_E_COLLISION, keyPath, "the message id " + Quoted(message.key) + " is used twice in this folder");
        }
        message.message = ReadMessage(json, path, 0, true);
        std::uint64_t counter = NewCounter("message" + folderKey + std::string(1, '\0') + message.key);
        message.entryId = MakeMessageEntryId(store_->kind, store_->guid, folder.counter, counter);
        list.push_back(std::move(message));
    }

    static void FinishMessage(Message& message, const EntryId& folderId, bool associated)
    {
        auto& p = message.message.properties;
        bool hasAttachments = !message.message.attachments.empty();
        SetProperty(p, BinaryProperty(PR_ENTRYID, message.entryId));
        SetProperty(p, BinaryProperty(PR_PARENT_ENTRYID, folderId));
        SetProperty(p, IntegerProperty(PR_OBJECT_TYPE, MAPI_MESSAGE));
        SetProperty(p, IntegerProperty(PR_HASATTACH, hasAttachments ? 1 : 0));
        const auto* flags = cfb::FindProperty(p, PR_MESSAGE_FLAGS);
        std::int64_t value = flags != nullptr ? flags->integer : 0;
        constexpr std::int64_t kDerivedFlags = MSGFLAG_HASATTACH | MSGFLAG_ASSOCIATED;
        value = (value & ~kDerivedFlags) | (hasAttachments ? MSGFLAG_HASATTACH : 0) | (associated ? MSGFLAG_ASSOCIATED : 0);
        if (flags != nullptr || value != 0) {
            SetProperty(p, IntegerProperty(PR_MESSAGE_FLAGS, value));
        }
    }

    // A message: a .msg file reference, or an object with properties, recipients and attachments
    // (on top of a .msg file when it names one with "msg").
    cfb::MsgMessage ReadMessage(const Json& json, const std::string& path, int depth, bool topLevel)
    {
        if (depth > kMaxMessageDepth) {
            Fail(MAPI_E_TOO_BIG, path, "embedded messages are nested too deeply");
        }
        if (json.is_string()) {
            return ReadMsg(json.get<std::string>(), path);
        }
        if (topLevel) {
            CheckMembers(json, path, {"id", "msg", "properties", "recipients", "attachments"});
        } else {
            CheckMembers(json, path, {"msg", "properties", "recipients", "attachments"});
        }
        cfb::MsgMessage message;
        if (auto msg = OptionalString(json, "msg", path)) {
            message = ReadMsg(*msg, MemberPath(path, "msg"));
        }
        if (const Json* properties = Member(json, "properties")) {
            for (auto& property : ReadPropertyObject(*properties, MemberPath(path, "properties"), named_.get(), source_)) {
                SetProperty(message.properties, std::move(property));
            }
        }
        if (const Json* recipients = OptionalArray(json, "recipients", path)) {
            for (std::size_t i = 0; i < recipients->size(); ++i) {
                cfb::MsgRecipient recipient;
                recipient.number = static_cast<std::uint32_t>(message.recipients.size());
                recipient.properties = ReadPropertyObject((*recipients)[i], ElementPath(MemberPath(path, "recipients"), i),
                                                          named_.get(), source_);
                message.recipients.push_back(std::move(recipient));
            }
        }
        if (const Json* attachments = OptionalArray(json, "attachments", path)) {
            for (std::size_t i = 0; i < attachments->size(); ++i) {
                cfb::MsgAttachment attachment = ReadAttachment((*attachments)[i], ElementPath(MemberPath(path, "attachments"), i), depth);
                attachment.number = static_cast<std::uint32_t>(message.attachments.size());
                message.attachments.push_back(std::move(attachment));
            }
        }
        return message;
    }

    cfb::MsgAttachment ReadAttachment(const Json& json, const std::string& path, int depth)
    {
        CheckMembers(json, path, {"properties", "data", "message"});
        cfb::MsgAttachment attachment;
        if (const Json* properties = Member(json, "properties")) {
            attachment.properties = ReadPropertyObject(*properties, MemberPath(path, "properties"), named_.get(), source_);
        }
        const Json* data = Member(json, "data");
        const Json* embedded = Member(json, "message");
        if (data != nullptr && embedded != nullptr) {
            Fail(MAPI_E_BAD_VALUE, path, "an attachment has \"data\" or \"message\", not both");
        }
        if (data != nullptr) {
            if (cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_BIN) != nullptr) {
                Fail(MAPI_E_COLLISION, MemberPath(path, "data"), "PR_ATTACH_DATA_BIN is given twice");
            }
            attachment.properties.push_back(BinaryProperty(PR_ATTACH_DATA_BIN, ReadBinary(*data, MemberPath(path, "data"), source_)));
            if (cfb::FindProperty(attachment.properties, PR_ATTACH_METHOD) == nullptr) {
                attachment.properties.push_back(IntegerProperty(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
            }
        }
        if (embedded != nullptr) {
            attachment.embedded = std::make_unique<cfb::MsgMessage>(ReadMessage(*embedded, MemberPath(path, "message"), depth + 1, false));
            SetProperty(attachment.properties, IntegerProperty(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG));
            cfb::MsgProperty object;
            object.tag = PR_ATTACH_DATA_OBJ;
            SetProperty(attachment.properties, std::move(object));
        }
        return attachment;
    }

    // A .msg file, with its named properties moved into the store's mapping.
    cfb::MsgMessage ReadMsg(const std::string& reference, const std::string& path)
    {
        cfb::MsgDocument document;
        std::string error;
        HRESULT status = cfb::ReadMsgFile(ResolveFile(reference, path, source_), document, error);
        if (FAILED(status)) {
            Fail(status, path, error);
        }
        std::map<std::uint16_t, std::uint16_t> ids;
        for (const auto& name : document.namedProperties) {
            ids.emplace(name.id, named_->IdOf(name, path));
        }
        Retag(document.message, ids);
        return std::move(document.message);
    }

    // Named-property ids of the file become the store's; a property whose id the file does not
    // map cannot be named and is dropped.
    static void Retag(cfb::MsgMessage& message, const std::map<std::uint16_t, std::uint16_t>& ids)
    {
        RetagList(message.properties, ids);
        for (auto& recipient : message.recipients) {
            RetagList(recipient.properties, ids);
        }
        for (auto& attachment : message.attachments) {
            RetagList(attachment.properties, ids);
            if (attachment.embedded) {
                Retag(*attachment.embedded, ids);
            }
        }
    }

    static void RetagList(cfb::MsgPropertyList& properties, const std::map<std::uint16_t, std::uint16_t>& ids)
    {
        cfb::MsgPropertyList kept;
        for (auto& property : properties) {
            if (property.Id() < 0x8000) {
                kept.push_back(std::move(property));
                continue;
            }
            auto found = ids.find(property.Id());
            if (found == ids.end()) {
                continue;
            }
            property.tag = (static_cast<std::uint32_t>(found->second) << 16) | property.Type();
            kept.push_back(std::move(property));
        }
        properties = std::move(kept);
    }
};

std::string DirectoryOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

HRESULT ReadOrganisationText(std::string_view text, std::string_view name, const std::optional<std::string>& baseDirectory,
                             Organisation& organisation, std::string& error)
{
    organisation = Organisation();
    try {
        Json root = Parse(text);
        Organisation result;
        result.path = std::string(name);
        Reader(baseDirectory, result).Read(root);
        result.BuildIndex();
        organisation = std::move(result);
        return S_OK;
    } catch (const ReadError& e) {
        error = std::string(name) + ": " + (e.path.empty() ? "" : e.path + ": ") + e.message;
        return e.status;
    } catch (const std::bad_alloc&) {
        error = std::string(name) + ": out of memory";
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        error = std::string(name) + ": " + e.what();
        return E_FAIL;
    }
}

HRESULT ReadOrganisationFile(const std::string& path, Organisation& organisation, std::string& error)
{
    organisation = Organisation();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        int code = errno == 0 ? ENOENT : errno;
        error = path + ": cannot open the file: " + std::strerror(code);
        return HResultFromErrno(code);
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = path + ": cannot read the file";
        return HResultFromErrno(EIO);
    }
    return ReadOrganisationText(content.str(), path, DirectoryOf(path), organisation, error);
}

} // namespace platform::orgsource
