// IProfAdmin, IMsgServiceAdmin and IProfSect over the profiles kept in the registry substitute.
#include "platform/mapi/provider/ProfileObjects.h"

#include <QlnProfiles.h>
#include <mapitags.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <optional>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/PropAnswers.h"
#include "platform/mapi/core/StringForms.h"
#include "platform/mapi/provider/LastError.h"
#include "platform/mapi/provider/ProfileRegistry.h"
#include "platform/mapi/provider/ProviderTable.h"

namespace mapi {
namespace {

struct KnownService {
    const char* name;
    const char16_t* displayName;
    const MAPIUID& uid;
};

const KnownService kKnownServices[] = {
    {QLN_SERVICE_ORGANISATION, u"Organisation source", kQlnOrganisationSection},
    {QLN_SERVICE_CONNECTOR, u"Quillon connector", kQlnConnectorSection},
};

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

const KnownService* FindService(std::string_view name)
{
    for (const KnownService& service : kKnownServices) {
        if (SameName(service.name, name))
            return &service;
    }
    return nullptr;
}

class ProfileSection final : public ComObject<IProfSect> {
public:
    ProfileSection(std::string profile, const MAPIUID& section, bool writable)
        : profile_(std::move(profile)), section_(section), writable_(writable)
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IProfSect});
    }

    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override { return NoLastError(lppMAPIError); }
    // Every change is written at once.
    HRESULT SaveChanges(ULONG) override { return writable_ ? S_OK : MAPI_E_NO_ACCESS; }

    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues, LPSPropValue* lppPropArray) override
    {
        return Guard([&] {
            PropertyBag values = profiles::ReadSection(profile_, section_);
            return AnswerProps(values, ComputedValues(), lpPropTagArray, ulFlags, lpcValues, lppPropArray);
        });
    }

    HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override
    {
        return Guard([&] { return ListProps(profiles::ReadSection(profile_, section_), ComputedValues(), ulFlags, lppPropTagArray); });
    }

    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* lppUnk) override
    {
        if (lppUnk != nullptr)
            *lppUnk = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    // Null and error values (the unset slots of a settings list) are passed over.
    HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems != nullptr)
            *lppProblems = nullptr;
        if (!writable_)
            return MAPI_E_NO_ACCESS;
        if (cValues > 0 && lpPropArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::vector<SPropProblem> problems;
            for (ULONG i = 0; i < cValues; ++i) {
                const SPropValue& value = lpPropArray[i];
                ULONG type = PROP_TYPE(value.ulPropTag);
                if (type == PT_ERROR || type == PT_NULL)
                    continue;
                HRESULT status = profiles::WriteSectionValue(profile_, section_, value);
                if (status == MAPI_E_INVALID_TYPE)
                    problems.push_back({i, value.ulPropTag, status});
                else if (FAILED(status))
                    return status;
            }
            return ReportProblems(problems, lppProblems);
        });
    }

    HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems != nullptr)
            *lppProblems = nullptr;
        if (!writable_)
            return MAPI_E_NO_ACCESS;
        if (lpPropTagArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::vector<SPropProblem> problems;
            for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
                ULONG tag = lpPropTagArray->aulPropTag[i];
                HRESULT status = profiles::DeleteSectionValue(profile_, section_, tag);
                if (status == MAPI_E_NOT_FOUND)
                    problems.push_back({i, tag, status});
                else if (FAILED(status))
                    return status;
            }
            return ReportProblems(problems, lppProblems);
        });
    }

    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray* lppProblems) override
    {
        return RefuseCopy(lppProblems, MAPI_E_NO_SUPPORT);
    }
    HRESULT CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                      LPSPropProblemArray* lppProblems) override
    {
        return RefuseCopy(lppProblems, MAPI_E_NO_SUPPORT);
    }
    HRESULT GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }

private:
    std::string profile_;
    MAPIUID section_;
    bool writable_;
};

class ServiceAdmin final : public ComObject<IMsgServiceAdmin> {
public:
    explicit ServiceAdmin(std::string profile) : profile_(std::move(profile)) {}

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMsgServiceAdmin});
    }

    HRESULT GetLastError(HRESULT, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override
    {
        return Guard([&] { return GiveError(lastError_, ulFlags, lppMAPIError); });
    }

    HRESULT GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            RowValues values;
            std::vector<std::vector<SPropValue>> rows;
            std::vector<profiles::ServiceRecord> services = profiles::Services(profile_);
            for (std::size_t i = 0; i < services.size(); ++i) {
                const profiles::ServiceRecord& service = services[i];
                rows.push_back({values.InstanceKey(static_cast<ULONG>(i)), values.Unicode(PR_SERVICE_NAME_W, AnsiToUtf16(service.name)),
                                values.Unicode(PR_DISPLAY_NAME_W, AnsiToUtf16(service.displayName)),
                                values.Binary(PR_SERVICE_UID, service.uid.ab)});
            }
            std::vector<ULONG> columns =
                ColumnsForFlags({PR_INSTANCE_KEY, PR_SERVICE_NAME_W, PR_DISPLAY_NAME_W, PR_SERVICE_UID}, ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

    // Only the services this runtime knows can be added; a profile holds each of them once.
    HRESULT CreateMsgService(LPTSTR lpszService, LPTSTR lpszDisplayName, ULONG_PTR, ULONG ulFlags) override
    {
        if (lpszService == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::string name = TextArgument(lpszService, ulFlags);
            const KnownService* known = FindService(name);
            if (known == nullptr) {
                lastError_ = "The message service \"" + name + "\" is not installed: this MAPI runtime offers " +
                             QLN_SERVICE_ORGANISATION + " and " + QLN_SERVICE_CONNECTOR + ".";
                return MAPI_E_NOT_FOUND;
            }
            std::string displayName = lpszDisplayName != nullptr ? TextArgument(lpszDisplayName, ulFlags)
                                                                 : Utf16ToAnsi(known->displayName);
            lastError_.clear();
            return profiles::AddService(profile_, {known->name, displayName, known->uid});
        });
    }

    HRESULT DeleteMsgService(LPMAPIUID lpUID) override
    {
        if (lpUID == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&] { return profiles::RemoveService(profile_, *lpUID); });
    }

    HRESULT CopyMsgService(LPMAPIUID, LPTSTR, LPCIID, LPCIID, LPVOID, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT RenameMsgService(LPMAPIUID, ULONG, LPTSTR) override { return MAPI_E_NO_SUPPORT; }

    // Writes the values into the service's own section.
    HRESULT ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR, ULONG, ULONG cValues, LPSPropValue lpProps) override
    {
        if (lpUID == nullptr || (cValues > 0 && lpProps == nullptr))
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::vector<profiles::ServiceRecord> services = profiles::Services(profile_);
            bool present = std::any_of(services.begin(), services.end(), [&](const profiles::ServiceRecord& service) {
                return std::memcmp(service.uid.ab, lpUID->ab, sizeof lpUID->ab) == 0;
            });
            if (!present)
                return MAPI_E_NOT_FOUND;
            for (ULONG i = 0; i < cValues; ++i) {
                ULONG type = PROP_TYPE(lpProps[i].ulPropTag);
                if (type == PT_ERROR || type == PT_NULL)
                    continue;
                HRESULT status = profiles::WriteSectionValue(profile_, *lpUID, lpProps[i]);
                if (FAILED(status))
                    return status;
            }
            return S_OK;
        });
    }

    HRESULT OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags, LPPROFSECT* lppProfSect) override
    {
        if (lppProfSect != nullptr)
            *lppProfSect = nullptr;
        if (lpUID == nullptr || lppProfSect == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        if (lpInterface != nullptr && *lpInterface != IID_IProfSect && *lpInterface != IID_IMAPIProp)
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        return OpenProfileSectionObject(profile_, *lpUID, ulFlags, lppProfSect);
    }

    HRESULT MsgServiceTransportOrder(ULONG, LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT AdminProviders(LPMAPIUID, ULONG, LPPROVIDERADMIN* lppProviderAdmin) override
    {
        if (lppProviderAdmin != nullptr)
            *lppProviderAdmin = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT SetPrimaryIdentity(LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetProviderTable(ULONG, LPMAPITABLE* lppTable) override
    {
        if (lppTable != nullptr)
            *lppTable = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

private:
    std::string profile_;
    std::string lastError_;
};

class ProfileAdmin final : public ComObject<IProfAdmin> {
public:
    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IProfAdmin});
    }

    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override { return NoLastError(lppMAPIError); }

    HRESULT GetProfileTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            std::optional<std::string> current = profiles::DefaultProfile();
            RowValues values;
            std::vector<std::vector<SPropValue>> rows;
            std::vector<std::string> names = profiles::ProfileNames();
            for (std::size_t i = 0; i < names.size(); ++i) {
                bool isDefault = current && SameName(*current, names[i]);
                rows.push_back({values.InstanceKey(static_cast<ULONG>(i)), values.Unicode(PR_DISPLAY_NAME_W, AnsiToUtf16(names[i])),
                                values.Boolean(PR_DEFAULT_PROFILE, isDefault)});
            }
            std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_DISPLAY_NAME_W, PR_DEFAULT_PROFILE}, ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

    HRESULT CreateProfile(LPTSTR lpszProfileName, LPTSTR, ULONG_PTR, ULONG ulFlags) override
    {
        if (lpszProfileName == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&] { return profiles::CreateProfile(TextArgument(lpszProfileName, ulFlags)); });
    }

    HRESULT DeleteProfile(LPTSTR lpszProfileName, ULONG ulFlags) override
    {
        if (lpszProfileName == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&] { return profiles::DeleteProfile(TextArgument(lpszProfileName, ulFlags)); });
    }

    HRESULT ChangeProfilePassword(LPTSTR, LPTSTR, LPTSTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT CopyProfile(LPTSTR, LPTSTR, LPTSTR, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT RenameProfile(LPTSTR, LPTSTR, LPTSTR, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }

    // No name removes the default.
    HRESULT SetDefaultProfile(LPTSTR lpszProfileName, ULONG ulFlags) override
    {
        return Guard([&]() -> HRESULT {
            if (lpszProfileName == nullptr)
                return profiles::SetDefaultProfile(std::nullopt);
            return profiles::SetDefaultProfile(TextArgument(lpszProfileName, ulFlags));
        });
    }

    HRESULT AdminServices(LPTSTR lpszProfileName, LPTSTR, ULONG_PTR, ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) override
    {
        if (lppServiceAdmin != nullptr)
            *lppServiceAdmin = nullptr;
        if (lpszProfileName == nullptr || lppServiceAdmin == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::optional<std::string> profile = profiles::FindProfile(TextArgument(lpszProfileName, ulFlags));
            if (!profile)
                return MAPI_E_NOT_FOUND;
            return CreateServiceAdmin(*profile, lppServiceAdmin);
        });
    }
};

} // namespace

std::string TextArgument(LPTSTR text, ULONG flags)
{
    if (text == nullptr)
        return {};
    if ((flags & MAPI_UNICODE) != 0)
        return Utf16ToAnsi(reinterpret_cast<LPCWSTR>(text));
    return text;
}

HRESULT CreateProfileAdmin(LPPROFADMIN* result)
{
    return Guard([&]() -> HRESULT {
        *result = new ProfileAdmin();
        return S_OK;
    });
}

HRESULT CreateServiceAdmin(std::string profile, LPSERVICEADMIN* result)
{
    return Guard([&]() -> HRESULT {
        *result = new ServiceAdmin(std::move(profile));
        return S_OK;
    });
}

HRESULT OpenProfileSectionObject(std::string profile, const MAPIUID& section, ULONG flags, LPPROFSECT* result)
{
    return Guard([&]() -> HRESULT {
        *result = new ProfileSection(std::move(profile), section, (flags & MAPI_MODIFY) != 0);
        return S_OK;
    });
}

} // namespace mapi
