// qlnprofile: the MAPI runtime's profiles from the command line - create one that serves an
// organisation file or a single Outlook data file, list them, choose the default one, delete one.
#include "platform/files/ConfigDirectory.h"

#include <MapiPtr.h>
#include <QlnProfiles.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <mapix.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Version.h"

namespace {

constexpr int kUsageError = 1;
constexpr int kFailed = 2;

constexpr const char* kUsage =
    "Usage: qlnprofile list\n"
    "       qlnprofile create NAME ORGANISATION [--mailbox=MAILBOX] [--default]\n"
    "       qlnprofile create NAME DATAFILE --user=ACCOUNT --smtp=ADDRESS [--display-name=NAME]\n"
    "                         [--code-page=CODEPAGE] [--default]\n"
    "       qlnprofile default NAME\n"
    "       qlnprofile delete NAME\n"
    "ORGANISATION is an organisation file, or a directory holding organisation.json.\n"
    "MAILBOX (the account, Exchange DN or SMTP address of a GAL user) is the mailbox the\n"
    "session logs on to; without it the first mailbox of the organisation.\n"
    "DATAFILE is an Outlook data file (.pst, .ost) served as the mailbox of the user named by\n"
    "--user (the account), --smtp and --display-name (default: the account); CODEPAGE is that of\n"
    "8-bit text that does not name its own (default 1252).\n";

// Who a single data file belongs to, from the command line.
struct DataFileOwner {
    std::string account;
    std::string smtp;
    std::string displayName;
    unsigned codePage = 1252;
};

int Fail(const std::string& what, HRESULT status)
{
    std::fprintf(stderr, "qlnprofile: %s [%#x].\n", what.c_str(), static_cast<unsigned>(status));
    return kFailed;
}

// MAPIInitialize for the life of the tool.
class MapiStarted {
public:
    MapiStarted() : status_(MAPIInitialize(nullptr)) {}
    ~MapiStarted()
    {
        if (SUCCEEDED(status_))
            MAPIUninitialize();
    }
    HRESULT status() const { return status_; }

private:
    HRESULT status_;
};

std::string Text(const SPropValue& value)
{
    return PROP_TYPE(value.ulPropTag) == PT_STRING8 && value.Value.lpszA != nullptr ? value.Value.lpszA : "";
}

// What the organisation source section of a profile says, and which services the profile has.
std::string Describe(IProfAdmin* admin, std::string name)
{
    MapiPtr<IMsgServiceAdmin> services;
    if (FAILED(admin->AdminServices(name.data(), nullptr, 0, 0, services.put())))
        return "cannot be read";
    std::string serviceNames;
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    SizedSPropTagArray(1, serviceColumns) = {1, {PR_SERVICE_NAME_A}};
    if (SUCCEEDED(services->GetMsgServiceTable(0, table.put())) &&
        SUCCEEDED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&serviceColumns), nullptr, nullptr, 0, rows.put()))) {
        for (ULONG i = 0; i < rows.size(); ++i)
            serviceNames += (serviceNames.empty() ? "" : ", ") + Text(rows->aRow[i].lpProps[0]);
    }
    MAPIUID section = kQlnOrganisationSection;
    MapiPtr<IProfSect> values;
    std::string organisation;
    std::string mailbox;
    if (SUCCEEDED(services->OpenProfileSection(&section, nullptr, 0, values.put()))) {
        SizedSPropTagArray(2, columns) = {2, {PR_QLN_ORGANISATION_PATH_A, PR_QLN_MAILBOX_A}};
        ULONG count = 0;
        MapiBuffer<SPropValue> props;
        if (SUCCEEDED(values->GetProps(reinterpret_cast<LPSPropTagArray>(&columns), 0, &count, props.put())) && count == 2) {
            organisation = Text(props[0]);
            mailbox = Text(props[1]);
        }
    }
    std::string text = organisation.empty() ? "no organisation source" : organisation;
    if (!mailbox.empty())
        text += ", mailbox " + mailbox;
    if (!serviceNames.empty())
        text += " (services: " + serviceNames + ")";
    return text;
}

int List(IProfAdmin* admin)
{
    MapiPtr<IMAPITable> table;
    HRESULT status = admin->GetProfileTable(0, table.put());
    if (FAILED(status))
        return Fail("cannot list the profiles", status);
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}};
    MapiRows rows;
    status = HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
    if (FAILED(status))
        return Fail("cannot list the profiles", status);
    if (rows.size() == 0)
        std::printf("No profiles: ex2qln serves the demo organisation.\n");
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SRow& row = rows->aRow[i];
        std::string name = Text(row.lpProps[0]);
        bool isDefault = row.lpProps[1].ulPropTag == PR_DEFAULT_PROFILE && row.lpProps[1].Value.b != 0;
        std::printf("%s%s: %s\n", name.c_str(), isDefault ? " (default)" : "", Describe(admin, name).c_str());
    }
    return 0;
}

bool IsDataFile(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".pst" || extension == ".ost";
}

// Where the organisation file made for the data file of profile `name` is kept.
std::string DataFileOrganisationPath(const std::string& name)
{
    std::string directory = platform::UserConfigDirectory();
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return "";
    return directory.empty() ? "" : directory + "data-file-profiles/" + name + ".json";
}

// Writes an organisation of one user whose mailbox is the data file; its path, or "" on failure.
std::string WriteDataFileOrganisation(const std::string& name, const std::string& dataFile, const DataFileOwner& owner)
{
    std::string path = DataFileOrganisationPath(name);
    std::error_code error;
    std::string absolute = std::filesystem::absolute(dataFile, error).lexically_normal().string();
    if (path.empty() || error)
        return "";
    const std::string site = "/o=ex2qln/ou=Outlook Data Files";
    nlohmann::json organisation = {
        {"formatVersion", 1},
        {"name", "Outlook data file " + std::filesystem::path(absolute).filename().string()},
        {"gal", nlohmann::json::array({{{"kind", "user"},
                                        {"account", owner.account},
                                        {"dn", site + "/cn=Recipients/cn=" + owner.account},
                                        {"smtp", owner.smtp},
                                        {"displayName", owner.displayName.empty() ? owner.account : owner.displayName},
                                        {"homeMdb", site + "/cn=Configuration/cn=Servers/cn=LOCAL/cn=Microsoft Private MDB"}}})},
        {"mailboxes", nlohmann::json::array({{{"user", owner.account}, {"pst", absolute}, {"codePage", owner.codePage}}})},
    };
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::ofstream file(path, std::ios::trunc);
    file << organisation.dump(2) << "\n";
    file.close();
    return !error && file ? path : "";
}

int Create(IProfAdmin* admin, std::string name, const std::string& organisation, const std::string& mailbox, bool makeDefault)
{
    std::error_code error;
    std::string path = std::filesystem::absolute(organisation, error).lexically_normal().string();
    if (error || !std::filesystem::exists(path, error))
        return Fail("there is no organisation file " + organisation, MAPI_E_NOT_FOUND);
    HRESULT status = admin->CreateProfile(name.data(), nullptr, 0, 0);
    if (FAILED(status))
        return Fail("cannot create the profile \"" + name + "\" (does it exist already?)", status);
    MapiPtr<IMsgServiceAdmin> services;
    status = admin->AdminServices(name.data(), nullptr, 0, 0, services.put());
    std::string service = QLN_SERVICE_ORGANISATION;
    if (SUCCEEDED(status))
        status = services->CreateMsgService(service.data(), nullptr, 0, 0);
    std::vector<SPropValue> values(1);
    values[0].ulPropTag = PR_QLN_ORGANISATION_PATH_A;
    values[0].Value.lpszA = path.data();
    std::string chosenMailbox = mailbox;
    if (!chosenMailbox.empty()) {
        SPropValue& value = values.emplace_back();
        value.ulPropTag = PR_QLN_MAILBOX_A;
        value.Value.lpszA = chosenMailbox.data();
    }
    MAPIUID section = kQlnOrganisationSection;
    if (SUCCEEDED(status))
        status = services->ConfigureMsgService(&section, 0, 0, static_cast<ULONG>(values.size()), values.data());
    // The profile must serve what it names: a logon reads the organisation and finds the mailbox.
    MapiPtr<IMAPISession> session;
    if (SUCCEEDED(status))
        status = MAPILogonEx(0, name.data(), nullptr, MAPI_EXTENDED | MAPI_LOGON_UI, session.put());
    if (SUCCEEDED(status) && makeDefault)
        status = admin->SetDefaultProfile(name.data(), 0);
    if (FAILED(status)) {
        admin->DeleteProfile(name.data(), 0);
        return Fail("cannot set up the profile \"" + name + "\"", status);
    }
    std::printf("Created the profile \"%s\" for %s%s.\n", name.c_str(), path.c_str(), makeDefault ? " as the default" : "");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ex2qln::version::AnswerVersionRequest(argc, argv, "qlnprofile"))
        return 0;
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    MapiStarted started;
    if (FAILED(started.status()))
        return Fail("cannot start MAPI", started.status());
    MapiPtr<IProfAdmin> admin;
    HRESULT status = MAPIAdminProfiles(0, admin.put());
    if (FAILED(status))
        return Fail("cannot administer profiles", status);

    const std::string& command = words[0];
    if (command == "list" && words.size() == 1)
        return List(admin.get());
    if (command == "create" && words.size() >= 3) {
        std::string mailbox;
        bool makeDefault = false;
        DataFileOwner owner;
        for (std::size_t i = 3; i < words.size(); ++i) {
            const std::string& word = words[i];
            auto value = [&](const char* option) { return word.substr(std::strlen(option)); };
            if (word.rfind("--mailbox=", 0) == 0) {
                mailbox = value("--mailbox=");
            } else if (word.rfind("--user=", 0) == 0) {
                owner.account = value("--user=");
            } else if (word.rfind("--smtp=", 0) == 0) {
                owner.smtp = value("--smtp=");
            } else if (word.rfind("--display-name=", 0) == 0) {
                owner.displayName = value("--display-name=");
            } else if (word.rfind("--code-page=", 0) == 0 && value("--code-page=").find_first_not_of("0123456789") == std::string::npos &&
                       !value("--code-page=").empty() && value("--code-page=").size() <= 5) {
                owner.codePage = static_cast<unsigned>(std::stoul(value("--code-page=")));
            } else if (word == "--default") {
                makeDefault = true;
            } else {
                std::fputs(kUsage, stderr);
                return kUsageError;
            }
        }
        if (!IsDataFile(words[2]))
            return Create(admin.get(), words[1], words[2], mailbox, makeDefault);
        if (owner.account.empty() || owner.smtp.empty() || !mailbox.empty()) {
            std::fputs("qlnprofile: a data file needs the user's --user and --smtp (and takes no --mailbox).\n", stderr);
            return kUsageError;
        }
        if (!std::filesystem::is_regular_file(words[2]))
            return Fail("there is no data file " + words[2], MAPI_E_NOT_FOUND);
        std::string organisation = WriteDataFileOrganisation(words[1], words[2], owner);
        if (organisation.empty())
            return Fail("cannot write the organisation file for " + words[2], MAPI_E_NO_ACCESS);
        int result = Create(admin.get(), words[1], organisation, owner.account, makeDefault);
        if (result != 0)
            std::filesystem::remove(organisation);
        return result;
    }
    if (command == "default" && words.size() == 2) {
        std::string name = words[1];
        status = admin->SetDefaultProfile(name.data(), 0);
        return FAILED(status) ? Fail("cannot make \"" + name + "\" the default profile", status) : 0;
    }
    if (command == "delete" && words.size() == 2) {
        std::string name = words[1];
        status = admin->DeleteProfile(name.data(), 0);
        if (FAILED(status))
            return Fail("cannot delete the profile \"" + name + "\"", status);
        // The organisation file made for a data file goes with its profile.
        if (std::string made = DataFileOrganisationPath(name); !made.empty()) {
            std::error_code ignored;
            std::filesystem::remove(made, ignored);
        }
        return 0;
    }
    std::fputs(kUsage, stderr);
    return kUsageError;
}
