// The transfer driver: the accounts file line by line, the GAL look-up, the private store and the
// public folders, each handed to the folder walk.
#include "ex2qln/transfer/TransferCommand.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/directory/GalTable.h"
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/inputs/InputReports.h"
#include "ex2qln/inputs/MappedCsv.h"
#include "ex2qln/journal/TransferJournal.h"
#include "ex2qln/mapi/ExchangeObjects.h"
#include "ex2qln/transfer/ConsoleLines.h"
#include "ex2qln/transfer/FolderWalk.h"
#include "ex2qln/transfer/ProblemMessages.h"
#include "ex2qln/transfer/TempStream.h"
#include "ex2qln/transfer/TransferStatistics.h"
#include "ex2qln/transfer/TransferWorkers.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <chrono>
#include <optional>
#include <cstdio>
#include <sstream>
#include <vector>
#include <strings.h>

namespace ex2qln::transfer {
namespace {

enum GalColumn : ULONG { kDn, kHomeMta, kDisplayName, kHomeMdb, kGalColumnCount };
constexpr ULONG kGalColumns[kGalColumnCount] = {PR_EMAIL_ADDRESS_A, PR_EMS_AB_HOME_MTA_A, PR_DISPLAY_NAME_A,
                                                 PR_EMS_AB_HOME_MDB_A};
constexpr char kPrivateDatabase[] = "/cn=Microsoft Private MDB";
constexpr ULONG kPropPublicFoldersAccount = PROP_TAG(PT_STRING8, 0x6603);
// Store opening as the administrator, or as the owner at home, online (--no-admin).
constexpr ULONG kAdminEntryIdFlags = OPENSTORE_USE_ADMIN_PRIVILEGE | OPENSTORE_TAKE_OWNERSHIP;
constexpr ULONG kOwnerEntryIdFlags = OPENSTORE_HOME_LOGON | OPENSTORE_TAKE_OWNERSHIP;
constexpr ULONG kAdminStoreFlags = MDB_NO_DIALOG | MAPI_BEST_ACCESS | MDB_TEMPORARY | MDB_NO_MAIL;
constexpr ULONG kOwnerStoreFlags = kAdminStoreFlags | MDB_ONLINE;

// The account's identity for the conversion: the address and the display name.
void SetIdentity(IPropData* settings, ULONG addressTag, const std::string& address, const std::string& name)
{
    SPropValue values[2]{};
    values[0].ulPropTag = addressTag;
    values[0].Value.lpszA = const_cast<char*>(address.c_str());
    values[1].ulPropTag = PR_DISPLAY_NAME_A;
    values[1].Value.lpszA = const_cast<char*>(name.c_str());
    QLN_CHECK(settings->SetProps(2, values, nullptr));
}

// Whether this run takes the line of the accounts file (0: the public folders' line): its shard's
// lines, or a worker's one line.
bool TakesLine(const TransferArguments& arguments, int line)
{
    if (arguments.onlyLine >= 0)
        return line == arguments.onlyLine;
    if (line == 0)
        return arguments.shardIndex == 1;
    return (static_cast<std::uint32_t>(line) - 1) % arguments.shardCount == arguments.shardIndex - 1;
}

// The summary block on standard output and in the log.
void ReportSummary(const TransferStatistics& statistics, std::chrono::steady_clock::time_point start, bool journal)
{
    const std::string summary = SummaryText(statistics, std::chrono::steady_clock::now() - start, journal);
    Out("%s", summary.c_str());
    std::istringstream lines(summary);
    for (std::string line; std::getline(lines, line);)
        diag::Trace("%s", line.c_str());
}

class TransferRun {
public:
    explicit TransferRun(const TransferArguments& arguments)
        : arguments_(arguments),
          client_(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, arguments.clientOptions),
          start_(std::chrono::steady_clock::now())
    {
    }

    HRESULT Execute();
    // The summary block, once the accounts file was read.
    void ReportSummary() const;
    const TransferStatistics& Statistics() const { return statistics_; }

private:
    HRESULT Line(std::size_t& position, int line, IMAPITable* gal);
    // With the journal: the mailbox (its root, "~account") was done by an earlier run, and is passed over.
    bool JournaledMailbox(const std::string& root);
    HRESULT Mailbox(const inputs::AccountKeys& keys, IMAPITable* gal);
    HRESULT HomeDatabase(const inputs::AccountKeys& keys, const SRow& row, std::string& homeDatabase) const;
    HRESULT PrivateStore(const std::string& homeDatabase, const std::string& mailboxDn, const std::string& mailbox);
    HRESULT PublicFolders();
    // Walks a store's root and counts the mailbox as done or failed.
    HRESULT Walk(IMsgStore* store, IMAPIFolder* root, const std::string& path);

    const TransferArguments& arguments_;
    inputs::CMappedCsv file_;
    imap::CImapXP client_;
    ProblemMessages problems_;
    TransferStatistics statistics_;
    std::optional<journal::TransferJournal> journal_;
    SpillFile spill_;
    std::chrono::steady_clock::time_point start_;
    bool started_ = false;
};

HRESULT TransferRun::Execute()
{
    const std::string path(arguments_.accountsPath);
    HRESULT status = QLN_CHECK(file_.Open(path));
    if (FAILED(status)) {
        inputs::ReportOpenFailure(path, status);
        return status;
    }
    if (!arguments_.journalPath.empty()) {
        journal_.emplace();
        if (status = journal_->Open(std::string(arguments_.journalPath)); FAILED(status))
            return status;
    }
    MapiPtr<IMAPITable> gal;
    status = directory::OpenGalColumns(arguments_.gal, kGalColumns,
                                       "Can not access GAL (needed for account mapping) [%#x].\n", gal);
    if (FAILED(status))
        return status;
    started_ = true;
    std::size_t position = 0;
    file_.SkipLineEnds(position);
    for (int line = 0; SUCCEEDED(status) && !file_.AtEnd(position); ++line) {
        if (TakesLine(arguments_, line))
            status = Line(position, line, gal.get());
        file_.SkipRow(position);
    }
    client_.Disconnect();
    return status;
}

HRESULT TransferRun::Line(std::size_t& position, int line, IMAPITable* gal)
{
    inputs::AccountKeys keys;
    if (FAILED(file_.ReadAccountKeys(position, line == 0, keys))) {
        inputs::ReportInvalidLine(static_cast<std::size_t>(line) + 1, inputs::kAccountsFile, arguments_.accountsPath);
        return E_FAIL;
    }
    // The whole line under the lock: the idle logout cannot cut a mailbox short.
    imap::CImapGuard guard(&client_);
    // A connection that cannot be made is reported; the line's first server command then fails.
    ConnectIfClosed(client_, arguments_.settings);
    if (line == 0)
        return arguments_.publicFoldersAccount.empty() ? S_OK : PublicFolders();
    Out("Processing %s (%s)\n", keys.account.c_str(), keys.mailbox.c_str());
    return Mailbox(keys, gal);
}

bool TransferRun::JournaledMailbox(const std::string& root)
{
    if (!journal_ || !journal_->State().MailboxDone(root))
        return false;
    Out("Transferred before; passed over.\n");
    ++statistics_.mailboxesDone;
    ++statistics_.mailboxesJournaled;
    return true;
}

HRESULT TransferRun::Mailbox(const inputs::AccountKeys& keys, IMAPITable* gal)
{
    if (JournaledMailbox("~" + keys.mailbox))
        return S_OK;
    SPropValue dn{};
    dn.ulPropTag = PR_EMAIL_ADDRESS_A;
    dn.Value.lpszA = const_cast<char*>(keys.dn.c_str());
    SRestriction restriction{};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty = SPropertyRestriction{RELOP_EQ, PR_EMAIL_ADDRESS_A, &dn};
    MapiRows rows;
    HRESULT status = QLN_CHECK(gal->Restrict(&restriction, 0));
    if (SUCCEEDED(status))
        status = QLN_CHECK(gal->SeekRow(BOOKMARK_BEGINNING, 0, nullptr));
    if (SUCCEEDED(status))
        status = QLN_CHECK(gal->QueryRows(1, 0, rows.put()));
    if (FAILED(status) || rows.size() == 0 || rows->aRow[0].cValues != kGalColumnCount ||
        rows->aRow[0].lpProps[kDn].ulPropTag != PR_EMAIL_ADDRESS_A) {
        Error("Can not get account %s (%s) info [%#x].\n", keys.account.c_str(), keys.dn.c_str(), Hex(status));
        ++statistics_.mailboxesFailed;
        return MAPI_E_NOT_FOUND;
    }
    const SRow& row = rows->aRow[0];
    std::string homeDatabase;
    if (status = HomeDatabase(keys, row, homeDatabase); FAILED(status)) {
        ++statistics_.mailboxesFailed;
        return status;
    }
    const SPropValue& name = row.lpProps[kDisplayName];
    SetIdentity(arguments_.settings, PR_EMAIL_ADDRESS_A, keys.mailbox,
                name.ulPropTag == PR_DISPLAY_NAME_A ? std::string(name.Value.lpszA) : keys.mailbox);
    return PrivateStore(homeDatabase, row.lpProps[kDn].Value.lpszA, keys.mailbox);
}

HRESULT TransferRun::HomeDatabase(const inputs::AccountKeys& keys, const SRow& row, std::string& homeDatabase) const
{
    if (row.lpProps[kHomeMdb].ulPropTag == PR_EMS_AB_HOME_MDB_A) {
        homeDatabase = row.lpProps[kHomeMdb].Value.lpszA;
        return S_OK;
    }
    if (row.lpProps[kHomeMta].ulPropTag != PR_EMS_AB_HOME_MTA_A) {
        Error("Can not get home mta/mdb name for %s.\n", keys.account.c_str());
        return MAPI_E_NOT_FOUND;
    }
    const std::string transferAgent = row.lpProps[kHomeMta].Value.lpszA;
    const std::size_t last = transferAgent.rfind('/');
    if (last == std::string::npos || ::strncasecmp(transferAgent.c_str() + last, "/cn=", 4) != 0) {
        Error("Can not get home mdb name for %s.\n", keys.account.c_str());
        return MAPI_E_NOT_FOUND;
    }
    homeDatabase = transferAgent.substr(0, last) + kPrivateDatabase;
    return S_OK;
}

HRESULT TransferRun::PrivateStore(const std::string& homeDatabase, const std::string& mailboxDn,
                                  const std::string& mailbox)
{
    Out("Getting folder list for \"%s\"@\"%s\".\n", mailboxDn.c_str(), homeDatabase.c_str());
    const bool owner = arguments_.options.noAdmin != 0;
    ULONG entryIdSize = 0;
    MapiBuffer<ENTRYID> entryId;
    HRESULT status = QLN_CHECK(arguments_.manageStore->CreateStoreEntryID(
        const_cast<char*>(homeDatabase.c_str()), const_cast<char*>(mailboxDn.c_str()),
        owner ? kOwnerEntryIdFlags : kAdminEntryIdFlags, &entryIdSize, entryId.put()));
    if (FAILED(status)) {
        Error("Unable to get message store entry id [%#x].\n", Hex(status));
        ++statistics_.mailboxesFailed;
        return status;
    }
    MapiPtr<IMsgStore> store;
    status = QLN_CHECK(arguments_.session->OpenMsgStore(0, entryIdSize, entryId.get(), nullptr,
                                                        owner ? kOwnerStoreFlags : kAdminStoreFlags, store.put()));
    if (FAILED(status)) {
        Error("Unable to open message store [%#x].\n", Hex(status));
        ++statistics_.mailboxesFailed;
        return status;
    }
    MapiBuffer<SPropValue> subtree;
    status = QLN_CHECK(HrGetOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, subtree.put()));
    if (FAILED(status)) {
        Error("Unable to get root folder entry id [%#x].\n", Hex(status));
        ++statistics_.mailboxesFailed;
        return status;
    }
    MapiPtr<IMAPIFolder> root;
    ULONG type = 0;
    status = QLN_CHECK(store->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb),
                                        &IID_IMAPIFolder, owner ? MAPI_NO_CACHE : 0, &type, root.put_unknown()));
    if (FAILED(status)) {
        Error("Unable to get root folder [%#x] (%d).\n", Hex(status), static_cast<int>(subtree->Value.bin.cb));
        ++statistics_.mailboxesFailed;
        return status;
    }
    return Walk(store.get(), root.get(), "~" + mailbox);
}

HRESULT TransferRun::PublicFolders()
{
    const std::string account(arguments_.publicFoldersAccount);
    Out("Processing Public Folders (%s)\n", account.c_str());
    if (JournaledMailbox("~" + account))
        return S_OK;
    MapiPtr<IMsgStore> store;
    MapiBuffer<SPropValue> subtree;
    MapiPtr<IMAPIFolder> root;
    HRESULT status = QLN_CHECK(mapi::OpenPublicStore(arguments_.session, store));
    if (SUCCEEDED(status))
        status = QLN_CHECK(HrGetOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, subtree.put()));
    ULONG type = 0;
    if (SUCCEEDED(status))
        status = QLN_CHECK(store->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb),
                                            &IID_IMAPIFolder, 0, &type, root.put_unknown()));
    if (FAILED(status)) {
        Error("Unable to get root public folder [%#x].\n", Hex(status));
        ++statistics_.mailboxesFailed;
        return status;
    }
    SetIdentity(arguments_.settings, kPropPublicFoldersAccount, account, account);
    return Walk(store.get(), root.get(), "~" + account);
}

HRESULT TransferRun::Walk(IMsgStore* store, IMAPIFolder* root, const std::string& path)
{
    const WalkContext context{arguments_.session, arguments_.addressBook, store,    &client_,
                              arguments_.settings, arguments_.fixFolders,  arguments_.ignoreErrors,
                              arguments_.ascii,    &problems_,             &statistics_,
                              journal_ ? &*journal_ : nullptr, &spill_};
    const std::uint64_t messagesFailedBefore = statistics_.messagesFailed;
    const std::uint32_t foldersFailedBefore = statistics_.foldersFailed;
    HRESULT status = WalkFolder(context, root, path, arguments_.options);
    // A mailbox is recorded only when all of it is on the server; one with failures is walked again.
    if (SUCCEEDED(status) && journal_ && statistics_.messagesFailed == messagesFailedBefore &&
        statistics_.foldersFailed == foldersFailedBefore)
        status = journal_->RecordMailbox(path);
    ++(FAILED(status) ? statistics_.mailboxesFailed : statistics_.mailboxesDone);
    return status;
}

void TransferRun::ReportSummary() const
{
    if (started_)
        transfer::ReportSummary(statistics_, start_, journal_.has_value());
}

// --jobs: the lines this run takes, each handed to a worker process that runs it as a transfer of
// its own; the parent checks the accounts file and the journal first and writes the one summary.
HRESULT ParallelTransfer(const TransferArguments& arguments)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string path(arguments.accountsPath);
    inputs::CMappedCsv file;
    HRESULT status = QLN_CHECK(file.Open(path));
    if (FAILED(status)) {
        inputs::ReportOpenFailure(path, status);
        return status;
    }
    if (!arguments.journalPath.empty()) {
        journal::TransferJournal journal;  // read once here: a damaged journal stops the run before any worker
        if (status = journal.Open(std::string(arguments.journalPath)); FAILED(status))
            return status;
    }
    std::vector<WorkerTask> tasks;
    std::size_t position = 0;
    file.SkipLineEnds(position);
    for (int line = 0; !file.AtEnd(position); ++line) {
        inputs::AccountKeys keys;
        if (FAILED(file.ReadAccountKeys(position, line == 0, keys))) {
            inputs::ReportInvalidLine(static_cast<std::size_t>(line) + 1, inputs::kAccountsFile, arguments.accountsPath);
            return E_FAIL;
        }
        file.SkipRow(position);
        if (!TakesLine(arguments, line) || (line == 0 && arguments.publicFoldersAccount.empty()))
            continue;
        tasks.push_back({line == 0 ? std::string(arguments.publicFoldersAccount) : keys.account, line});
    }
    const WorkerBody body = [&arguments](const WorkerTask& task, TransferStatistics& statistics) {
        TransferArguments one = arguments;
        one.onlyLine = task.line;
        one.jobs = 1;
        TransferRun run(one);
        const HRESULT result = run.Execute();
        statistics = run.Statistics();
        return result;
    };
    TransferStatistics statistics;
    status = RunWorkers(tasks, arguments.jobs, body, statistics);
    ReportSummary(statistics, start, !arguments.journalPath.empty());
    return status;
}

} // namespace

HRESULT TransferCommand(const TransferArguments& arguments)
{
    try {
        if (arguments.jobs > 1 && arguments.onlyLine < 0)
            return ParallelTransfer(arguments);
        TransferRun run(arguments);
        const HRESULT status = run.Execute();
        run.ReportSummary();
        return status;
    } catch (const std::bad_alloc&) {
        Error("Can not allocate memory.\n");
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::transfer
