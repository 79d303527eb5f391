// MAPILogonEx and MAPIAdminProfiles: which organisation a logon serves, and the profile administration.
//
// A logon names a profile, or the path of an organisation file (or of a directory holding
// organisation.json) where a profile name is expected; no name takes the default profile. When
// the user has no profile at all, the demo organisation installed beside the runtime
// (share/ex2qln/demo-org/organisation.json under the prefix of the runtime's lib/) is served.
#include <QlnProfiles.h>
#include <mapitags.h>
#include <mapix.h>

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/orgsource/OrganisationReader.h"

#include "InstallLayout.h"

#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/StringForms.h"
#include "platform/mapi/provider/OrgContext.h"
#include "platform/mapi/provider/ProfileObjects.h"
#include "platform/mapi/provider/ProfileRegistry.h"
#include "platform/mapi/provider/SessionObject.h"

namespace mapi {
namespace {

constexpr const char* kOrganisationFileName = "organisation.json";
constexpr const char* kDemoOrganisationFile = "demo-org/organisation.json";

// What a logon serves, or why it cannot.
struct LogonSource {
    std::string profile;       // empty for a path
    std::string organisation;  // the organisation file
    std::string mailbox;       // the profile's choice of mailbox, or empty
    HRESULT status = S_OK;
    std::string error;
};

LogonSource Failure(HRESULT status, std::string error)
{
    LogonSource source;
    source.status = status;
    source.error = std::move(error);
    return source;
}

std::string SectionText(const PropertyBag& section, ULONG tag)
{
    const SPropValue* value = section.Find(tag);
    if (value == nullptr || PROP_TYPE(value->ulPropTag) != PT_UNICODE || value->Value.lpszW == nullptr)
        return {};
    return Utf16ToAnsi(value->Value.lpszW);
}

// The organisation file a path names: the file itself, or organisation.json in a directory.
std::optional<std::string> OrganisationAt(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        return path;
    std::filesystem::path inside = std::filesystem::path(path) / kOrganisationFileName;
    if (std::filesystem::is_directory(path, error) && std::filesystem::is_regular_file(inside, error))
        return inside.string();
    return std::nullopt;
}

LogonSource FromProfile(const std::string& profile)
{
    PropertyBag section = profiles::ReadSection(profile, kQlnOrganisationSection);
    LogonSource source;
    source.profile = profile;
    source.organisation = SectionText(section, PR_QLN_ORGANISATION_PATH_W);
    source.mailbox = SectionText(section, PR_QLN_MAILBOX_W);
    if (std::optional<std::string> file = OrganisationAt(source.organisation))
        source.organisation = *file;
    if (source.organisation.empty())
        return Failure(MAPI_E_UNCONFIGURED, "The MAPI profile \"" + profile +
                                                "\" names no organisation source: add one with qlnprofile "
                                                "(qlnprofile create NAME ORGANISATION-FILE), or log on with the path "
                                                "of an organisation file.");
    return source;
}

std::string DemoOrganisation()
{
    std::filesystem::path demo = std::filesystem::path(ex2qln::layout::kDataFromRuntime) / kDemoOrganisationFile;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&MAPILogonEx), &info) == 0 || info.dli_fname == nullptr)
        return demo.string();
    std::filesystem::path library(info.dli_fname);
    return (library.parent_path() / demo).lexically_normal().string();
}

LogonSource ChooseSource(const std::string& name)
{
    if (!name.empty()) {
        if (std::optional<std::string> profile = profiles::FindProfile(name))
            return FromProfile(*profile);
        if (std::optional<std::string> path = OrganisationAt(name)) {
            LogonSource source;
            source.organisation = *path;
            return source;
        }
        return Failure(MAPI_E_LOGON_FAILED, "There is no MAPI profile \"" + name + "\" and no organisation file of that name.");
    }
    if (std::optional<std::string> current = profiles::DefaultProfile()) {
        if (std::optional<std::string> profile = profiles::FindProfile(*current))
            return FromProfile(*profile);
        return Failure(MAPI_E_LOGON_FAILED, "The default MAPI profile \"" + *current + "\" does not exist.");
    }
    if (!profiles::ProfileNames().empty())
        return Failure(MAPI_E_LOGON_FAILED, "No MAPI profile is the default: name one, or make one the default "
                                            "(qlnprofile default NAME).");
    LogonSource source;
    source.organisation = DemoOrganisation();
    if (!OrganisationAt(source.organisation))
        return Failure(MAPI_E_LOGON_FAILED, "There is no MAPI profile, and the demo organisation " + source.organisation +
                                                " is not installed.");
    return source;
}

// The mailbox the session is logged on to: the profile's choice (an account, DN or SMTP
// address of the GAL), else the first mailbox of the organisation.
std::optional<std::size_t> ChooseMailbox(const org::Organisation& organisation, const std::string& wanted, bool& found)
{
    found = true;
    if (wanted.empty()) {
        for (std::size_t s = 0; s < organisation.stores.size(); ++s) {
            if (organisation.stores[s].kind == org::StoreKind::Mailbox)
                return s;
        }
        return std::nullopt;
    }
    std::optional<std::size_t> entry = organisation.FindGalEntryByDn(wanted);
    if (!entry)
        entry = organisation.FindGalEntryBySmtpAddress(wanted);
    for (std::size_t i = 0; !entry && i < organisation.gal.size(); ++i) {
        const std::string& account = organisation.gal[i].account;
        if (!account.empty() && strcasecmp(account.c_str(), wanted.c_str()) == 0)
            entry = i;
    }
    std::optional<std::size_t> store = entry ? organisation.FindMailboxStore(organisation.gal[*entry].dn) : std::nullopt;
    found = store.has_value();
    return store;
}

HRESULT Logon(const std::string& name, LPMAPISESSION* session, std::string& error)
{
    LogonSource source = ChooseSource(name);
    if (FAILED(source.status)) {
        error = source.error;
        return source.status;
    }
    auto organisation = std::make_shared<org::Organisation>();
    HRESULT status = org::ReadOrganisationFile(source.organisation, *organisation, error);
    if (FAILED(status))
        return status;
    bool found = true;
    std::optional<std::size_t> mailbox = ChooseMailbox(*organisation, source.mailbox, found);
    if (!found) {
        error = "The mailbox \"" + source.mailbox + "\" of the MAPI profile \"" + source.profile + "\" is not in " +
                source.organisation + ".";
        return MAPI_E_LOGON_FAILED;
    }
    std::shared_ptr<const OrgContext> context;
    status = OrgContext::Create(std::move(organisation), mailbox, context);
    if (FAILED(status))
        return status;
    return CreateSession(std::move(context), source.profile, session);
}

} // namespace
} // namespace mapi

// Without a window to ask in, MAPI_LOGON_UI shows why a logon failed on standard error.
STDAPI MAPILogonEx(ULONG_PTR, LPTSTR lpszProfileName, LPTSTR, ULONG ulFlags, LPMAPISESSION* lppSession)
{
    if (lppSession == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppSession = nullptr;
    return mapi::Guard([&]() -> HRESULT {
        std::string error;
        HRESULT status = mapi::Logon(mapi::TextArgument(lpszProfileName, ulFlags), lppSession, error);
        if (FAILED(status) && (ulFlags & MAPI_LOGON_UI) != 0 && !error.empty())
            std::fprintf(stderr, "%s\n", error.c_str());
        return status;
    });
}

STDAPI MAPIAdminProfiles(ULONG, LPPROFADMIN* lppProfAdmin)
{
    if (lppProfAdmin == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppProfAdmin = nullptr;
    return mapi::CreateProfileAdmin(lppProfAdmin);
}
