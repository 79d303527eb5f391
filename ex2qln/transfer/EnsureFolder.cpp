// Ensure-folder over LIST (CLASS), CREATE and SETCLASS.
#include "ex2qln/transfer/EnsureFolder.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/transfer/MessageUpload.h"

#include <mapicode.h>

#include <strings.h>

namespace ex2qln::transfer {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Whether a LIST answer names `path`: the account part of "~account/..." in any letter case (the
// server answers with its own spelling), the rest as it stands. A folder name with "%" or "*" is a
// pattern to LIST, which may then answer with other folders too.
bool NamesPath(std::string_view listed, std::string_view path)
{
    if (!path.starts_with('~'))
        return listed == path;
    const std::size_t listedEnd = listed.find('/');
    const std::size_t pathEnd = path.find('/');
    return EqualNoCase(listed.substr(0, listedEnd), path.substr(0, pathEnd)) &&
           (listedEnd == std::string_view::npos ? std::string_view() : listed.substr(listedEnd)) ==
               (pathEnd == std::string_view::npos ? std::string_view() : path.substr(pathEnd));
}

const imap::ImapRecord* FindListed(const imap::ImapRecords& folders, std::string_view path)
{
    for (const imap::ImapRecord& record : folders) {
        const SPropValue* listedName = imap::FindProperty(record, imap::kPropFolderName);
        if (record.kind == imap::kKindList && listedName != nullptr && NamesPath(listedName->Value.lpszA, path))
            return &record;
    }
    return nullptr;
}

// "~account/INBOX" itself.
bool IsAccountInbox(std::string_view path)
{
    const std::size_t slash = path.find('/');
    return path.starts_with('~') && slash != std::string_view::npos && path.substr(slash + 1) == "INBOX";
}

// The class on a server without SETCLASS: a METADATA entry, removed again for a mail folder that
// was there before (it may carry another class); without METADATA a line in the log.
HRESULT KeepClassWithoutExtensions(imap::CImapXP& client, const imap::ServerFeatures& features, std::string_view path,
                                   std::string_view folderClass, bool created)
{
    const bool mail = folderClass == kDefaultFolderClass;
    if (mail && (created || !features.metadata))
        return S_OK;
    if (!features.metadata) {
        diag::Trace("The server keeps no folder classes: \"%.*s\" stays without its class %.*s\n",
                    static_cast<int>(path.size()), path.data(), static_cast<int>(folderClass.size()), folderClass.data());
        return S_OK;
    }
    const std::string value = mail ? std::string("NIL") : "\"" + QuotedImapText(folderClass) + "\"";
    HRESULT status = client.SendCommand("SETMETADATA \"%s\" (%.*s %s)", QuotedImapText(path).c_str(),
                                        static_cast<int>(kClassMetadataEntry.size()), kClassMetadataEntry.data(),
                                        value.c_str());
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, 0, nullptr);
    return FAILED(status) ? status : S_OK;
}

} // namespace

std::string WithInboxSpelling(std::string_view path)
{
    std::string result(path);
    const std::size_t slash = result.find('/');
    if (slash == std::string::npos)
        return result;
    const std::string_view first = std::string_view(result).substr(slash + 1);
    if (first.size() >= 5 && EqualNoCase(first.substr(0, 5), "INBOX") && (first.size() == 5 || first[5] == '/'))
        result.replace(slash + 1, 5, "INBOX");
    return result;
}

HRESULT EnsureFolder(imap::CImapXP& client, std::string_view path, std::string_view folderClass, bool* created,
                     std::string_view specialUse)
{
    if (created != nullptr)
        *created = false;
    const std::string unquotedName = WithInboxSpelling(path);
    const std::string name = QuotedImapText(unquotedName);
    imap::CImapGuard guard(&client);
    const imap::ServerFeatures features = client.Features();

    imap::ImapRecords folders;
    HRESULT status = features.extensions ? client.SendCommand("LIST (CLASS) \"\" \"%s\"", name.c_str())
                                         : client.SendCommand("LIST \"\" \"%s\"", name.c_str());
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, imap::KeepBit(imap::kKindList), &folders);
    if (FAILED(status))
        return status;
    const imap::ImapRecord* listed = FindListed(folders, unquotedName);

    std::string currentClass(kDefaultFolderClass);
    if (listed == nullptr) {
        const std::string use =
            !features.extensions && features.createSpecialUse && !specialUse.empty() ? " (USE (" + std::string(specialUse) + "))" : "";
        ULONG kind = 0;
        status = client.SendCommand("CREATE \"%s\"%s", name.c_str(), use.c_str());
        if (SUCCEEDED(status))
            status = client.ReadReply(&kind, 0, nullptr);
        if (FAILED(status))
            return status;
        // A standard server may not list another user's INBOX and refuses to create one that exists.
        const bool existing = kind != imap::kKindOk && !features.extensions && IsAccountInbox(unquotedName);
        if (kind != imap::kKindOk && !existing)
            return E_ACCESSDENIED;
        if (created != nullptr)
            *created = !existing;
    } else if (const SPropValue* listedClass = imap::FindProperty(*listed, imap::kPropContainerClass)) {
        currentClass = listedClass->Value.lpszA;
    }
    if (!features.extensions)
        return KeepClassWithoutExtensions(client, features, unquotedName, folderClass, listed == nullptr);
    if (currentClass == folderClass)
        return S_OK;
    status = client.SendCommand("SETCLASS \"%s\" \"%s\"", name.c_str(), QuotedImapText(folderClass).c_str());
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, 0, nullptr);
    return FAILED(status) ? status : S_OK;
}

} // namespace ex2qln::transfer
