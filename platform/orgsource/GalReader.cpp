// Reading the GAL entries, checking that their keys are unique and resolving list members.
#include "platform/orgsource/GalReader.h"

#include "platform/orgsource/JsonHelpers.h"
#include "platform/orgsource/ReadError.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace platform::orgsource {
namespace {

std::string Upper(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

bool IsPrintableAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

void DeriveGalProperties(GalEntry& entry)
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

} // namespace

void GalReader::Read(const Json& gal, const std::string& path)
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

const Json* GalReader::ReadGalEntry(const Json& json, const std::string& path)
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

void GalReader::Register(std::map<std::string, std::size_t>& map, const std::string& key, std::size_t index,
              const std::string& path, std::string_view what)
{
    auto [found, inserted] = map.emplace(Lower(key), index);
    if (!inserted) {
        Fail(MAPI_E_COLLISION, path, "the " + std::string(what) + " " + Quoted(key) + " is already used by " +
                                      ElementPath("gal", found->second));
    }
}

std::optional<std::size_t> GalReader::FindGalEntry(const std::string& reference) const
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

void GalReader::ResolveMembers(std::size_t listIndex, const Json& members, const std::string& path)
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

} // namespace platform::orgsource
