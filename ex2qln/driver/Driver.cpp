// The run driver: the fixed sequence of a run and its single exit routine.
#include "ex2qln/driver/Driver.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/driver/CommandLine.h"
#include "ex2qln/driver/Commands.h"
#include "ex2qln/driver/ConversionLog.h"
#include "ex2qln/driver/DefaultProfile.h"
#include "ex2qln/driver/LogPath.h"
#include "ex2qln/driver/PasswordFile.h"
#include "ex2qln/driver/ServerSettings.h"
#include "ex2qln/mapi/ExchangeObjects.h"
#include "ex2qln/mapi/MapiBinding.h"
#include "ex2qln/mapi/ProfileCreation.h"
#include "ex2qln/net/TlsSettings.h"
#include "mmconv/MMConv.h"

#include <MapiPtr.h>
#include <edkmdb.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include "Version.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace ex2qln::driver {
namespace {

constexpr std::uint32_t kRunTraceMask = 0x21;  // failure reports and connection traces
constexpr std::uint32_t kRunLogMaximumSize = 0x4000000;

constexpr char kUsage[] =
    "Usage: %s command(s) options\n"
    "\tmailboxes [--profile=mapi-profile] [--accounts=csv-file] [--ini=ini-file]\n"
    "\tldif [--profile=mapi-profile] [--ldif=ldif-file] [--target-dn=distinguished-name] [--ini=ini-file]\n"
    "\tdistlists [--profile=mapi-profile] [--script=cli-script]\n"
    "\taccounts --accounts=accounts-file [--aliases] [--reverse-aliases] --server=pwd-server [--ssl] "
    "[--account=postmaster] [--pwd=postmaster-passwd]\n"
    "\tpasswords --accounts=accounts-file --passwds=pwdump-file --server=pwd-server [--ssl] "
    "[--account=postmaster] [--pwd=postmaster-passwd]\n"
    "\tcli [--script=cli-script] --server=pwd-server [--ssl] [--account=postmaster] [--pwd=postmaster-passwd]\n"
    "\ttransfer [--profile=mapi-profile] --accounts=accounts-file [--public=public-folders-account] "
    "[--fix-folders] [--ignore-errors] [--ascii] --server=imap-server [--ssl] [--account=postmaster] "
    "[--pwd=postmaster-passwd]\n";

// Our own additions, each on a line of its own so the usage text above stays as it always was.
constexpr char kTlsUsage[] = "\tTLS certificate checks: [--tls-ca=certificate-file] [--tls-no-verify]\n";
constexpr char kPasswordFileUsage[] = "\tPassword from a file, deleted once read: [--pwd-file=password-file]\n";
constexpr char kJournalUsage[] =
    "\ttransfer, resumable and split: [--journal=journal-file | --no-journal] [--shard=K/N] [--jobs=N]\n";

unsigned AsUnsigned(HRESULT status) { return static_cast<unsigned>(status); }

std::string CurrentDirectory()
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

void PrintBanner()
{
    std::printf("Quillon Migration Utility Version %u.%u.%u.%u\n", version::kMajor, version::kMinor, version::kPatch,
                version::kBuild);
    std::printf("Copies an Exchange organisation's directory and mailboxes into a Quillon server.\n\n");
    std::fflush(stdout);  // so that it comes before any error line, also through a pipe
}

// The MAPI objects a run holds. Members are destroyed in reverse order of declaration, which
// releases the Global Address List first and the server settings last.
struct MapiObjects {
    MapiPtr<IPropData> serverSettings;
    MapiPtr<IMAPISession> session;
    MapiPtr<IMsgStore> privateStore;
    MapiPtr<IExchangeManageStore> manageStore;
    MapiPtr<IAddrBook> addressBook;
    MapiPtr<IABContainer> gal;
};

class Run {
public:
    explicit Run(const std::vector<std::string>& arguments) : arguments_(arguments) {}
    HRESULT Execute();

private:
    HRESULT Exit(HRESULT status, bool wait);
    HRESULT RunProfileOnly();
    bool Validate(const ParseResult& parsed);
    void TakePasswordFile();
    bool ValidatePasswordFile();
    HRESULT StartMapi();
    HRESULT FillServerSettings();
    HRESULT OpenSession();
    HRESULT OpenManagementInterface();
    HRESULT RunCommands();

    const std::vector<std::string>& arguments_;
    RunSettings settings_;
    std::optional<PasswordFileContent> passwordFile_;
    std::string startDirectory_;
    MapiObjects mapi_;
    bool conversionStarted_ = false;
};

HRESULT Run::Exit(HRESULT status, bool wait)
{
    if (wait) {
        std::fputs("Press Enter to continue", stdout);
        std::fflush(stdout);
        std::getchar();
    }
    if (conversionStarted_) {
        conversionStarted_ = false;
        mmconv::MMConvFree();
    }
    return status;
}

HRESULT Run::Execute()
{
    startDirectory_ = CurrentDirectory();
    PrintBanner();
    std::setlocale(LC_ALL, "");

    std::vector<std::string> words(arguments_.begin() + 1, arguments_.end());
    ParseResult parsed = ParseCommandLine(words);
    if (parsed.rejected)
        std::fprintf(stderr, "Invalid option or command specified: %s\n", parsed.rejected->c_str());
    settings_ = parsed.settings;
    TakePasswordFile();
    net::SetDefaultTlsSettings({!settings_.tlsNoVerify, settings_.tlsTrustedCertificate.value_or("")});

    LogLocation log = ChooseLogLocation(settings_.localLog, settings_.accountsFile, startDirectory_);
    diag::OpenLog(kRunTraceMask, log.name.c_str(), kRunLogMaximumSize, log.local);
    RouteConversionTrace();

    if (settings_.profileOnly)
        return RunProfileOnly();
    if (!Validate(parsed))
        return Exit(S_OK, settings_.waitOnError);

    if (HRESULT status = StartMapi(); FAILED(status)) {
        std::fprintf(stderr, "Can not initialize MAPI [%#x].\n", AsUnsigned(status));
        return Exit(status, settings_.waitOnError);
    }
    if (settings_.commands & kNeedsServer) {
        if (!settings_.server || settings_.server->empty()) {
            std::fputs("--server option missing.\n", stderr);
            return Exit(S_OK, settings_.waitOnError);
        }
        FillServerSettings();
    }
    if (settings_.commands & kNeedsMapiSession) {
        if (HRESULT status = OpenSession(); FAILED(status))
            return Exit(status, settings_.waitOnError);
    }
    if (settings_.commands & kTransfer) {
        if (HRESULT status = OpenManagementInterface(); FAILED(status)) {
            std::fprintf(stderr, "Can not access mailbox management interface [%#x].\n", AsUnsigned(status));
            return Exit(status, settings_.waitOnError);
        }
    }

    // The MAPI logon may have changed the current directory; relative paths are the user's.
    if (chdir(startDirectory_.c_str()) != 0)
        QLN_CHECK(HResultFromErrno(errno));
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    HRESULT status = RunCommands();
    std::printf("Execution completed [%#x].\n", AsUnsigned(status));
    return Exit(status, settings_.waitOnCompletion);
}

HRESULT Run::RunProfileOnly()
{
    HRESULT status = E_FAIL;
    if (arguments_.size() < 3) {
        std::printf("Error, inf file is absent.\n");
    } else {
        status = mapi::CreateProfile(nullptr, arguments_[2].c_str(), false);
        if (SUCCEEDED(status) && arguments_.size() > 3)
            MakeDefaultProfile();
    }
    std::printf("Completed with code %#x. \n", AsUnsigned(status));
    return Exit(status, settings_.waitOnCompletion);
}

bool Run::Validate(const ParseResult& parsed)
{
    int argumentCount = static_cast<int>(arguments_.size()) - 1;
    if (argumentCount == 0 || parsed.acceptedCount != argumentCount) {
        std::fprintf(stderr, kUsage, arguments_[0].c_str());
        std::fputs(kTlsUsage, stderr);
        std::fputs(kPasswordFileUsage, stderr);
        std::fputs(kJournalUsage, stderr);
        return false;
    }
    if (settings_.shard && !ParseShard(*settings_.shard)) {
        std::fprintf(stderr, "--shard wants K/N with 1 <= K <= N, not \"%s\".\n", settings_.shard->c_str());
        return false;
    }
    if (settings_.jobs && !ParseJobs(*settings_.jobs)) {
        std::fprintf(stderr, "--jobs wants a number from 1 to %u, not \"%s\".\n", kMostJobs, settings_.jobs->c_str());
        return false;
    }
    if (settings_.noJournal && settings_.journalFile) {
        std::fputs("--journal and --no-journal exclude each other.\n", stderr);
        return false;
    }
    if (settings_.iniFile) {
        std::error_code error;
        std::filesystem::path full = std::filesystem::absolute(*settings_.iniFile, error);
        if (error || settings_.iniFile->empty() || !std::filesystem::is_regular_file(full, error)) {
            std::fputs("--ini file does not exist.\n", stderr);
            return false;
        }
        settings_.iniFile = full.string();
    }
    if ((settings_.commands & kNeedsAccountsFile) && !settings_.accountsFile) {
        std::fputs("--accounts option missing.\n", stderr);
        return false;
    }
    if ((settings_.commands & kPasswords) && !settings_.passwordDumpFile) {
        std::fputs("--passwds option missing.\n", stderr);
        return false;
    }
    return ValidatePasswordFile();
}

// The file is taken at once, before anything can end the run, so that a password handed over in a
// file never outlives the run, not even one that ends with the usage text.
void Run::TakePasswordFile()
{
    if (settings_.passwordFile)
        passwordFile_ = driver::TakePasswordFile(*settings_.passwordFile);
}

bool Run::ValidatePasswordFile()
{
    if (!passwordFile_)
        return true;
    switch (passwordFile_->problem) {
    case PasswordFileProblem::Unreadable:
        std::fputs("--pwd-file file does not exist.\n", stderr);
        return false;
    case PasswordFileProblem::OpenToOthers:
        std::fputs("--pwd-file file is readable by other users.\n", stderr);
        return false;
    case PasswordFileProblem::None:
        break;
    }
    settings_.password = passwordFile_->password;
    return true;
}

HRESULT Run::StartMapi()
{
    if (std::optional<std::string> path = mapi::OutlookMapiPath()) {
        mapi::PreloadMapiLibrary(*path);
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("MAPI path: %s", path->c_str());
    }
    HRESULT status = QLN_ASSERT_HR(MAPIInitialize(nullptr));
    if (FAILED(status))
        return status;
    status = QLN_ASSERT_HR(CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer,
                                       nullptr, mapi_.serverSettings.put()));
    if (FAILED(status))
        return status;
    // The network start-up: a peer that closes its end must give an error status, not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    // Its result is not acted on: a conversion reports its own failures.
    QLN_CHECK(mmconv::MMConvInit(MAPIAllocateBuffer, MAPIFreeBuffer, 1, settings_.convertRtf ? 1 : 0));
    conversionStarted_ = true;
    return S_OK;
}

HRESULT Run::FillServerSettings()
{
    // SetProps' result is only reported: the commands find out for themselves what is missing.
    return QLN_CHECK(StoreServerSettings(mapi_.serverSettings.get(), settings_));
}

HRESULT Run::OpenSession()
{
    std::printf("Initializing MAPI session.\n");
    std::fflush(stdout);
    const char* profile = settings_.profile ? settings_.profile->c_str() : nullptr;
    HRESULT status = QLN_CHECK(MAPILogonEx(0, const_cast<char*>(profile), nullptr, MAPI_EXTENDED | MAPI_LOGON_UI,
                                           mapi_.session.put()));
    if (FAILED(status)) {
        std::fprintf(stderr, "Logon failed [%#x].\n", AsUnsigned(status));
        return status;
    }
    std::printf("Opening Exchange GAL.\n");
    std::fflush(stdout);
    status = QLN_CHECK(mapi::OpenGlobalAddressList(mapi_.session.get(), mapi_.addressBook, mapi_.gal));
    if (FAILED(status))
        std::fprintf(stderr, "Can not open GAL [%#x].\n", AsUnsigned(status));
    return status;
}

HRESULT Run::OpenManagementInterface()
{
    HRESULT status = QLN_CHECK(mapi::OpenPrivateStore(mapi_.session.get(), mapi::kExchangePrivateStoreProvider,
                                                      mapi_.privateStore));
    if (FAILED(status))
        return status;
    if (!mapi_.privateStore)
        return E_FAIL;
    return QLN_CHECK(mapi_.privateStore->QueryInterface(IID_IExchangeManageStore,
                                                        mapi_.manageStore.put_void()));
}

HRESULT Run::RunCommands()
{
    CommandContext context{settings_,
                           mapi_.session.get(),
                           mapi_.addressBook.get(),
                           mapi_.gal.get(),
                           mapi_.manageStore.get(),
                           mapi_.serverSettings.get()};
    HRESULT status = S_OK;
    for (const Command& command : CommandsInRunOrder()) {
        if (!(settings_.commands & command.bit))
            continue;
        status = command.run(context);
        if (FAILED(status))
            break;
    }
    return status;
}

} // namespace

HRESULT RunProgram(const std::vector<std::string>& arguments)
{
    Run run(arguments);
    return run.Execute();
}

} // namespace ex2qln::driver
