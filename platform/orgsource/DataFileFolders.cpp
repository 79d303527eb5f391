// The part of the store reader that serves a store's folders from an Outlook data file: the folder
// tree below the file's IPM subtree, its special folders, and each folder's index of messages by
// their node ids. The messages themselves are read by DataFileSource when they are asked for.
#include "platform/orgsource/StoreReader.h"

#include "platform/orgsource/DataFileSource.h"
#include "platform/orgsource/JsonHelpers.h"
#include "platform/orgsource/ReadError.h"
#include "platform/locale/Utf16.h"

#include <sstream>

namespace platform::orgsource {
namespace {

constexpr int kMaxFolderDepth = 64;
constexpr std::uint32_t kSearchFolderType = 0x03;
constexpr unsigned kDefaultCodePage = 1252;

// Where a data file names its special folders: on the store, or on the root folder.
struct DataFileSpecial {
    std::uint32_t tag;
    bool onStore;
    std::string_view name;  // as "special" names it
};

constexpr DataFileSpecial kDataFileSpecials[] = {
    {PR_IPM_OUTBOX_ENTRYID, true, "outbox"},
    {PR_IPM_WASTEBASKET_ENTRYID, true, "deletedItems"},
    {PR_IPM_SENTMAIL_ENTRYID, true, "sentItems"},
    {PR_IPM_APPOINTMENT_ENTRYID, false, "calendar"},
    {PR_IPM_CONTACT_ENTRYID, false, "contacts"},
    {PR_IPM_JOURNAL_ENTRYID, false, "journal"},
    {PR_IPM_NOTE_ENTRYID, false, "notes"},
    {PR_IPM_TASK_ENTRYID, false, "tasks"},
    {PR_IPM_DRAFTS_ENTRYID, false, "drafts"},
};

std::string Hex(std::uint32_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << value;
    return text.str();
}

std::uint32_t NodeOf(const cfb::MsgPropertyList& properties, std::uint32_t tag)
{
    const cfb::MsgProperty* property = cfb::FindProperty(properties, tag);
    return property != nullptr ? pst::PstStore::NodeOfEntryId(property->bytes) : 0;
}

// The file's entry identifiers name its own nodes, which the store's identifiers replace.
bool NamesFileObjects(const cfb::MsgProperty& property)
{
    const std::uint16_t id = property.Id();
    return (id >= 0x36D0 && id <= 0x36D8) || (id >= 0x35E0 && id <= 0x35E7) || property.tag == PR_PARENT_ENTRYID;
}

std::string DisplayName(const cfb::MsgPropertyList& properties, std::uint32_t nid)
{
    const cfb::MsgProperty* name = cfb::FindProperty(properties, PR_DISPLAY_NAME_W);
    if (name == nullptr || name->text.empty()) {
        return "Folder " + Hex(nid);
    }
    return Utf16ToUtf8(name->text);
}

// Data files may hold sibling folders of the same name, which a store cannot.
std::string UniqueName(const Folder& parent, const std::string& name)
{
    auto taken = [&](const std::string& candidate) {
        for (const auto& sibling : parent.folders) {
            if (Lower(sibling.name) == Lower(candidate)) {
                return true;
            }
        }
        return false;
    };
    std::string unique = name;
    for (int n = 2; taken(unique); ++n) {
        unique = name + " (" + std::to_string(n) + ")";
    }
    return unique;
}

unsigned CodePageMember(const Json& json, const std::string& path)
{
    const Json* member = Member(json, "codePage");
    if (member == nullptr) {
        return kDefaultCodePage;
    }
    if (!member->is_number_integer() || member->get<std::int64_t>() <= 0 || member->get<std::int64_t>() > 65535) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, "codePage"), "expected a Windows code page number (1 to 65535)");
    }
    return static_cast<unsigned>(member->get<std::int64_t>());
}

void Check(HRESULT status, const std::string& path, const std::string& error)
{
    if (FAILED(status)) {
        Fail(status, path, error);
    }
}

} // namespace

void StoreReader::ReadDataFile(const Json& json, const std::string& path, Folder& subtree, const std::string& subtreeKey)
{
    const std::string pstPath = MemberPath(path, "pst");
    auto reference = OptionalString(json, "pst", path);
    if (!reference || reference->empty()) {
        Fail(MAPI_E_BAD_VALUE, pstPath, "expected the path of an Outlook data file");
    }
    const unsigned codePage = CodePageMember(json, path);
    auto file = std::make_shared<pst::PstStore>();
    std::string error;
    Check(file->Open(ResolveFile(*reference, pstPath, source_), error), pstPath, error);

    DataFileWalk walk{*file, codePage, {}, pstPath, {}};
    cfb::MsgPropertyList storeProperties;
    Check(file->ReadStoreProperties(codePage, storeProperties, error), pstPath, error);
    pst::PstFolder root;
    Check(file->ReadFolder(pst::kRootFolderNode, codePage, root, error), pstPath, error);
    for (const auto& special : kDataFileSpecials) {
        if (store_->kind != StoreKind::Mailbox) {
            break;
        }
        if (std::uint32_t nid = NodeOf(special.onStore ? storeProperties : root.properties, special.tag)) {
            walk.specials.emplace(nid, special.name);
        }
    }
    const std::uint32_t top = NodeOf(storeProperties, PR_IPM_SUBTREE_ENTRYID);
    if (top == 0) {
        Fail(MAPI_E_CORRUPT_DATA, pstPath, file->Database().Path() + ": the file does not say where its folders are");
    }
    pst::PstFolder ipm;
    Check(file->ReadFolder(top, codePage, ipm, error), pstPath, error);
    walk.visited.insert(top);
    for (std::uint32_t child : ipm.subfolders) {
        AddDataFileFolder(walk, child, subtree, subtreeKey, 3);
    }
    store_->source = std::make_shared<DataFileSource>(std::move(file), codePage, files_);
}

void StoreReader::AddDataFileFolder(DataFileWalk& walk, std::uint32_t nid, Folder& parent, const std::string& parentKey,
                                    int depth)
{
    // Search folders show other folders' messages; the messages are migrated where they are.
    if ((nid & 0x1F) == kSearchFolderType || !walk.visited.insert(nid).second) {
        return;
    }
    if (depth > kMaxFolderDepth) {
        Fail(MAPI_E_TOO_BIG, walk.path, "folders are nested too deeply");
    }
    pst::PstFolder source;
    std::string error;
    Check(walk.file.ReadFolder(nid, walk.codePage, source, error), walk.path, error);
    Folder folder = NewFolder(UniqueName(parent, DisplayName(source.properties, nid)), parentKey);
    folder.locator = DataFileSource::kDataFileFolder | nid;
    for (auto& property : source.properties) {
        if (NamesFileObjects(property)) {
            continue;
        }
        if (property.Id() >= 0x8000) {
            // The file's id becomes the store's id of the same name.
            const std::uint16_t id = named_->IdOf(walk.file.NamedProperties().at(property.Id()), walk.path);
            property.tag = PROP_TAG(property.Type(), id);
        }
        SetProperty(folder.properties, std::move(property));
    }
    const bool hasSpecialIds = cfb::FindProperty(source.properties, PR_IPM_APPOINTMENT_ENTRYID) != nullptr;
    if (auto special = walk.specials.find(nid); special != walk.specials.end()) {
        MarkSpecial(folder, special->second, walk.path);
    } else if (store_->kind == StoreKind::Mailbox && specials_.count(SpecialFolder::Inbox) == 0 &&
               (hasSpecialIds || (depth == 3 && Lower(folder.name) == "inbox"))) {
        // The Inbox is the folder that repeats the root's special-folder ids (or else the one so named).
        MarkSpecial(folder, "inbox", walk.path);
    }
    const std::string key = parentKey + std::string(1, '\0') + folder.name;
    std::set<std::string> keys;
    for (bool associated : {false, true}) {
        std::vector<std::uint32_t> ids;
        Check(walk.file.ReadMessageIds(nid, associated, ids, error), walk.path, error);
        for (std::uint32_t id : ids) {
            AddToIndex(folder, Message{0, Hex(id), id}, walk.path, key, keys, associated);
        }
    }
    for (std::uint32_t child : source.subfolders) {
        AddDataFileFolder(walk, child, folder, key, depth + 1);
    }
    parent.folders.push_back(std::move(folder));
}

} // namespace platform::orgsource
