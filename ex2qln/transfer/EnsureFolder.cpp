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

HRESULT EnsureFolder(imap::CImapXP& client, std::string_view path, std::string_view folderClass, bool* created)
{
    if (created != nullptr)
        *created = false;
    const std::string name = QuotedImapText(WithInboxSpelling(path));
    const std::string unquotedName = WithInboxSpelling(path);
    imap::CImapGuard guard(&client);

    imap::ImapRecords folders;
    HRESULT status = client.SendCommand("LIST (CLASS) \"\" \"%s\"", name.c_str());
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, imap::KeepBit(imap::kKindList), &folders);
    if (FAILED(status))
        return status;
    const imap::ImapRecord* listed = nullptr;
    for (const imap::ImapRecord& record : folders) {
        const SPropValue* listedName = imap::FindProperty(record, imap::kPropFolderName);
        if (record.kind == imap::kKindList && listedName != nullptr && NamesPath(listedName->Value.lpszA, unquotedName)) {
            listed = &record;
            break;
        }
    }

    std::string currentClass(kDefaultFolderClass);
    if (listed == nullptr) {
        ULONG kind = 0;
        status = client.SendCommand("CREATE \"%s\"", name.c_str());
        if (SUCCEEDED(status))
            status = client.ReadReply(&kind, 0, nullptr);
        if (FAILED(status))
            return status;
        if (kind != imap::kKindOk)
            return E_ACCESSDENIED;
        if (created != nullptr)
            *created = true;
    } else if (const SPropValue* listedClass = imap::FindProperty(*listed, imap::kPropContainerClass)) {
        currentClass = listedClass->Value.lpszA;
    }
    if (currentClass == folderClass)
        return S_OK;
    status = client.SendCommand("SETCLASS \"%s\" \"%s\"", name.c_str(), QuotedImapText(folderClass).c_str());
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, 0, nullptr);
    return FAILED(status) ? status : S_OK;
}

} // namespace ex2qln::transfer
