// The walk over one folder level: the skip rules, naming, Ensure-folder, the message loop and the
// handling of failed messages.
#include "ex2qln/transfer/FolderWalk.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/imap/FolderName.h"
#include "ex2qln/imap/ImapUtf7.h"
#include "ex2qln/transfer/AnsiText.h"
#include "ex2qln/transfer/ConsoleLines.h"
#include "ex2qln/transfer/EnsureFolder.h"
#include "ex2qln/transfer/InFlightUpload.h"
#include "ex2qln/transfer/MessageUpload.h"
#include "ex2qln/transfer/SmtpAddressPass.h"
#include "ex2qln/transfer/SpecialFolders.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapitags.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <strings.h>

namespace ex2qln::transfer {
namespace {

constexpr ULONG kPropFolderPathName = PROP_TAG(PT_STRING8, 0x66B5);
enum HierarchyColumn : ULONG { kPathName, kClass, kLongTermEntryId, kContentCount, kDisplayName, kEntryId, kColumnCount };
constexpr ULONG kSkipMailFolders = 1;
constexpr ULONG kSkipUnclassedFolders = 2;
// Longest date or time text in "Delivered:".
constexpr std::size_t kLongestDatePart = 19;

bool IsMailClass(const char* folderClass) { return ::strcasecmp(folderClass, "IPF.Note") == 0; }

const SPropValue* ValueOf(const SRow& row, ULONG column, ULONG tag)
{
    return column < row.cValues && row.lpProps[column].ulPropTag == tag ? &row.lpProps[column] : nullptr;
}

// One row of the hierarchy table, read.
struct FolderRow {
    const char* folderClass = nullptr;  // null when the folder has none
    SBinary entryId{};
    std::u16string name;
    std::string shownName;  // the path name when the table gives it, else the display name
    std::optional<ULONG> contentCount;
};

std::optional<FolderRow> ReadFolderRow(const SRow& row)
{
    if (row.cValues != kColumnCount)
        return std::nullopt;
    FolderRow folder;
    const SPropValue* entryId = ValueOf(row, kLongTermEntryId, PR_LONGTERM_ENTRYID_FROM_TABLE);
    if (entryId == nullptr)
        entryId = ValueOf(row, kEntryId, PR_ENTRYID);
    const SPropValue* name = ValueOf(row, kDisplayName, PR_DISPLAY_NAME_W);
    if (entryId == nullptr || name == nullptr)
        return std::nullopt;
    folder.entryId = entryId->Value.bin;
    folder.name = name->Value.lpszW;
    if (const SPropValue* folderClass = ValueOf(row, kClass, PR_CONTAINER_CLASS_A))
        folder.folderClass = folderClass->Value.lpszA;
    const SPropValue* pathName = ValueOf(row, kPathName, kPropFolderPathName);
    folder.shownName = pathName != nullptr ? std::string(pathName->Value.lpszA) : ToAnsi(folder.name);
    if (const SPropValue* count = ValueOf(row, kContentCount, PR_CONTENT_COUNT))
        folder.contentCount = count->Value.ul;
    return folder;
}

bool Skipped(const FolderRow& folder, ULONG skipImap)
{
    if (folder.folderClass == nullptr)
        return skipImap == kSkipUnclassedFolders;
    return (skipImap == kSkipMailFolders || skipImap == kSkipUnclassedFolders) && IsMailClass(folder.folderClass);
}

// A UTC time as stored, in the locale's date and time formats.
std::string DeliveredText(const FILETIME& time)
{
    const std::int64_t ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
                                                         time.dwLowDateTime);
    const std::time_t seconds = static_cast<std::time_t>(ticks / 10000000 - 11644473600LL);
    std::tm parts{};
    if (ticks < 0 || gmtime_r(&seconds, &parts) == nullptr)
        return {};
    char date[kLongestDatePart + 1] = "";
    char clock[kLongestDatePart + 1] = "";
    std::strftime(date, sizeof date, "%x", &parts);
    std::strftime(clock, sizeof clock, "%X", &parts);
    return std::string(date) + " " + clock;
}

// The messages of one folder on the server, as the journal follows them.
struct FolderUploads {
    const std::string& path;
    std::uint64_t failedBefore;  // the failure count when the folder began
    // Every message the folder holds has at most this UID; unknown until asked or reported.
    std::optional<std::uint32_t> highestUid;
};

class LevelWalk {
public:
    LevelWalk(const WalkContext& context, IMAPIFolder* folder, const std::string& path)
        : context_(context), folder_(folder), path_(path)
    {
    }

    HRESULT Run(TransferOptions options);

private:
    HRESULT OpenHierarchy(MapiPtr<IMAPITable>& table);
    void FindInbox();
    bool IsInbox(const SBinary& entryId) const;
    // The name the folder gets on the server; E_FAIL with the messages written when it has none.
    HRESULT ServerName(FolderRow& folder);
    HRESULT Folder(FolderRow& folder, TransferOptions options);
    HRESULT OpenContents(const FolderRow& folder, MapiPtr<IMAPIFolder>& opened, MapiPtr<IMAPITable>& contents);
    HRESULT Messages(IMAPITable* contents, ULONG count, const std::string& folderPath);
    HRESULT Message(const SRow& row, ULONG index, ULONG count, FolderUploads& uploads);
    // With the journal: whether the message is on the server already, by the journal or, for an
    // upload a stopped run left uncertain, by the server. A failure means that cannot be told.
    HRESULT Journaled(const std::string& key, FolderUploads& uploads, bool& journaled);
    HRESULT Upload(IMessage* message, const std::string& key, FolderUploads& uploads, std::uint64_t& bytes);
    HRESULT FailedMessage(IMessage* message, HRESULT failure, ULONG index, ULONG count);
    void SaveProblemMessage(IMessage* message);

    const WalkContext& context_;
    IMAPIFolder* folder_;
    const std::string& path_;
    MapiBuffer<ENTRYID> inbox_;
    ULONG inboxSize_ = 0;
    SpecialFolders specialFolders_;
};

HRESULT LevelWalk::Run(TransferOptions options)
{
    MapiPtr<IMAPITable> hierarchy;
    HRESULT status = OpenHierarchy(hierarchy);
    if (FAILED(status)) {
        Error("Unable to access folder list [%#x].\n", Hex(status));
        return status;
    }
    if (path_.find('/') == std::string::npos) {
        FindInbox();
        specialFolders_.Load(context_.store);
    }
    status = S_OK;
    while (SUCCEEDED(status)) {
        MapiRows rows;
        if (FAILED(QLN_CHECK(hierarchy->QueryRows(1, 0, rows.put()))) || rows.size() == 0)
            break;
        std::optional<FolderRow> folder = ReadFolderRow(rows->aRow[0]);
        if (!folder)
            continue;
        if (Skipped(*folder, options.skipImap)) {
            context_.statistics->messagesSkipped += folder->contentCount.value_or(0);
            continue;
        }
        status = Folder(*folder, options);
    }
    return status;
}

HRESULT LevelWalk::OpenHierarchy(MapiPtr<IMAPITable>& table)
{
    SizedSPropTagArray(kColumnCount, columns) = {
        kColumnCount,
        {kPropFolderPathName, PR_CONTAINER_CLASS_A, PR_LONGTERM_ENTRYID_FROM_TABLE, PR_CONTENT_COUNT, PR_DISPLAY_NAME_W,
         PR_ENTRYID}};
    HRESULT status = QLN_CHECK(folder_->GetHierarchyTable(0, table.put()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
    return status;
}

void LevelWalk::FindInbox()
{
    // Without it the Inbox keeps its display name; nothing else changes.
    if (FAILED(QLN_CHECK(context_.store->GetReceiveFolder(nullptr, 0, &inboxSize_, inbox_.put(), nullptr))))
        inbox_.reset();
}

bool LevelWalk::IsInbox(const SBinary& entryId) const
{
    if (!inbox_)
        return false;
    ULONG same = FALSE;
    const HRESULT status = context_.store->CompareEntryIDs(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb),
                                                           inboxSize_, inbox_.get(), 0, &same);
    return SUCCEEDED(status) && same != FALSE;
}

HRESULT LevelWalk::ServerName(FolderRow& folder)
{
    if (IsInbox(folder.entryId))
        folder.name = u"INBOX";
    if (context_.fixFolders && !imap::IsValidFolderName(folder.name)) {
        Error("The original folder name \"%s\" is not valid. ", ToAnsi(folder.name).c_str());
        imap::FixFolderName(folder.name);
        Error("Using name: \"%s\".\n", ToAnsi(folder.name).c_str());
    }
    if (!imap::IsValidFolderName(folder.name)) {
        const std::string shown = ToAnsi(folder.name);
        Error("Unable to create folder \"%s\"\nThe name is not valid. Please rename the folder and try again.\n",
              shown.c_str());
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("Unable to create folder \"%s\" - name is not valid \n", shown.c_str());
        return MAPI_E_BAD_VALUE;
    }
    return S_OK;
}

HRESULT LevelWalk::Folder(FolderRow& folder, TransferOptions options)
{
    const char* shownClass = folder.folderClass != nullptr ? folder.folderClass : kDefaultFolderClass.data();
    Out("%s(%s)\n", folder.shownName.c_str(), shownClass);
    HRESULT status = ServerName(folder);
    if (FAILED(status))
        return status;
    const std::string encoded = imap::EncodeImapName(folder.name);
    if (encoded.empty()) {
        Error("Skipping unmapable folder name \"%s\"\n", folder.shownName.c_str());
        context_.statistics->messagesSkipped += folder.contentCount.value_or(0);
        return S_OK;
    }
    const std::string folderPath = path_ + "/" + encoded;
    const std::string_view serverClass =
        folder.folderClass == nullptr || IsMailClass(folder.folderClass) ? kDefaultFolderClass : folder.folderClass;

    bool created = false;
    status = ConnectIfClosed(*context_.client, context_.settings);
    if (SUCCEEDED(status))
        status = EnsureFolder(*context_.client, folderPath, serverClass, &created,
                              specialFolders_.UseOf(context_.store, folder.entryId));
    if (FAILED(status)) {
        const std::string shown = ToAnsi(folder.name);
        Error("Unable to create folder \"%s\"\n", shown.c_str());
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("Unable to create folder \"%s\"\n", shown.c_str());
        Error("Error: %s. [%#x]\n", context_.client->LastErrorText().c_str(), Hex(status));
        ++context_.statistics->foldersFailed;
        context_.statistics->messagesFailed += folder.contentCount.value_or(0);
        return context_.ignoreErrors ? S_OK : status;
    }
    if (created)
        ++context_.statistics->foldersCreated;

    MapiPtr<IMAPIFolder> opened;
    MapiPtr<IMAPITable> contents;
    status = OpenContents(folder, opened, contents);
    if (FAILED(status)) {
        Error("Unable to access folder contents [%#x].\n", Hex(status));
        ++context_.statistics->foldersFailed;
        context_.statistics->messagesFailed += folder.contentCount.value_or(0);
        return context_.ignoreErrors ? S_OK : status;
    }
    ULONG count = 0;
    if (folder.contentCount)
        count = *folder.contentCount;
    else if (FAILED(QLN_CHECK(contents->GetRowCount(0, &count))))
        count = 0;
    if (context_.journal != nullptr && context_.journal->State().FolderDone(folderPath)) {
        context_.statistics->messagesJournaled += count;
        Out("%d message(s) transferred before.\n", static_cast<int>(count));
    } else if (status = Messages(contents.get(), count, folderPath); FAILED(status)) {
        return status;
    }
    contents.reset();
    return WalkFolder(context_, opened.get(), folderPath, options);
}

HRESULT LevelWalk::OpenContents(const FolderRow& folder, MapiPtr<IMAPIFolder>& opened, MapiPtr<IMAPITable>& contents)
{
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    ULONG type = 0;
    HRESULT status = QLN_CHECK(folder_->OpenEntry(folder.entryId.cb, reinterpret_cast<LPENTRYID>(folder.entryId.lpb),
                                                  &IID_IMAPIFolder, 0, &type, opened.put_unknown()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(opened->GetContentsTable(0, contents.put()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
    return status;
}

HRESULT LevelWalk::Messages(IMAPITable* contents, ULONG count, const std::string& folderPath)
{
    ULONG rowsRead = 0;
    HRESULT status = S_OK;
    FolderUploads uploads{folderPath, context_.statistics->messagesFailed, std::nullopt};
    bool listed = true;
    for (;;) {
        MapiRows rows;
        if (FAILED(QLN_CHECK(contents->QueryRows(1, 0, rows.put())))) {
            listed = false;
            break;
        }
        if (rows.size() == 0)
            break;
        ++rowsRead;
        status = Message(rows->aRow[0], rowsRead, count, uploads);
        if (FAILED(status))
            return status;
    }
    Out("%d message(s) transfered.\t\t\t\n", static_cast<int>(rowsRead));
    // A folder is recorded only when every message of it is on the server.
    if (context_.journal != nullptr && listed && context_.statistics->messagesFailed == uploads.failedBefore)
        status = context_.journal->RecordFolder(folderPath);
    return status;
}

HRESULT LevelWalk::Message(const SRow& row, ULONG index, ULONG count, FolderUploads& uploads)
{
    if (row.cValues == 0 || PROP_TYPE(row.lpProps[0].ulPropTag) != PT_BINARY) {
        ++context_.statistics->messagesSkipped;
        return S_OK;
    }
    const SBinary& entryId = row.lpProps[0].Value.bin;
    std::string key;
    HRESULT status = S_OK;
    if (context_.journal != nullptr) {
        key = journal::SourceKey(entryId.lpb, entryId.cb);
        bool journaled = false;
        if (status = Journaled(key, uploads, journaled); FAILED(status)) {
            Error("\nUnable to find out whether an interrupted upload reached the server: %s. [%#x]\n",
                  context_.client->LastErrorText().c_str(), Hex(status));
            ++context_.statistics->messagesFailed;
            return context_.ignoreErrors ? S_OK : status;
        }
        if (journaled) {
            ++context_.statistics->messagesJournaled;
            return S_OK;
        }
    }
    Out("Processing message %d of %d\r", static_cast<int>(index), static_cast<int>(count));
    MapiPtr<IMessage> message;
    ULONG type = 0;
    status = QLN_CHECK(context_.store->OpenEntry(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), &IID_IMessage,
                                                 MAPI_MODIFY, &type, message.put_unknown()));
    if (FAILED(status)) {
        Error("\nUnable to access message contents [%#x].\n", Hex(status));
        ++context_.statistics->messagesFailed;
        // A damaged source message is passed over like one that fails to convert: the rest of
        // the mailbox still migrates.
        return context_.ignoreErrors || status == MAPI_E_CORRUPT_DATA ? S_OK : status;
    }
    status = SmtpAddressPass(context_.addressBook, message.get(), context_.ascii);
    if (SUCCEEDED(status))
        status = ConnectIfClosed(*context_.client, context_.settings);
    std::uint64_t bytes = 0;
    if (SUCCEEDED(status))
        status = Upload(message.get(), key, uploads, bytes);
    if (FAILED(status)) {
        ++context_.statistics->messagesFailed;
        return FailedMessage(message.get(), status, index, count);
    }
    ++context_.statistics->messagesUploaded;
    context_.statistics->bytesUploaded += bytes;
    return S_OK;
}

HRESULT LevelWalk::Journaled(const std::string& key, FolderUploads& uploads, bool& journaled)
{
    journaled = context_.journal->State().MessageDone(uploads.path, key);
    const std::optional<journal::PendingUpload> pending = context_.journal->State().Pending(uploads.path, key);
    if (journaled || !pending)
        return S_OK;
    std::optional<std::uint32_t> uid;
    HRESULT status = ConnectIfClosed(*context_.client, context_.settings);
    if (SUCCEEDED(status))
        status = FindPendingUpload(*context_.client, uploads.path, *pending, context_.journal->State(), uid);
    if (FAILED(status) || !uid)
        return status;
    journaled = true;
    uploads.highestUid.reset();  // asked again before the next upload
    return context_.journal->RecordMessage(uploads.path, key, *uid);
}

HRESULT LevelWalk::Upload(IMessage* message, const std::string& key, FolderUploads& uploads, std::uint64_t& bytes)
{
    if (context_.journal == nullptr)
        return UploadMessage(*context_.client, context_.settings, uploads.path, context_.session, message, &bytes, nullptr,
                             context_.spill);
    std::uint32_t uid = 0;
    UploadJournalHooks hooks;
    hooks.appendedUid = &uid;
    hooks.beforeAppend = [&](std::uint32_t size) {
        if (!uploads.highestUid) {
            std::uint32_t highest = 0;
            if (HRESULT status = HighestUid(*context_.client, uploads.path, highest); FAILED(status))
                return status;
            uploads.highestUid = highest;
        }
        return context_.journal->RecordPending(uploads.path, key, {size, *uploads.highestUid});
    };
    HRESULT status =
        UploadMessage(*context_.client, context_.settings, uploads.path, context_.session, message, &bytes, &hooks,
                      context_.spill);
    // An APPEND that failed may still have reached the server (a connection lost before the
    // answer): the next run asks the server, as for a stopped run.
    if (FAILED(status)) {
        uploads.highestUid.reset();
        return status;
    }
    // Without APPENDUID the folder's highest UID is asked again before the next upload.
    uploads.highestUid = uid != 0 ? std::optional<std::uint32_t>(uid) : std::nullopt;
    return context_.journal->RecordMessage(uploads.path, key, uid);
}

HRESULT LevelWalk::FailedMessage(IMessage* message, HRESULT failure, ULONG index, ULONG count)
{
    SizedSPropTagArray(2, tags) = {2, {PR_SUBJECT_A, PR_MESSAGE_DELIVERY_TIME}};
    ULONG read = 0;
    MapiBuffer<SPropValue> values;
    if (FAILED(message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &read, values.put())) || read != 2) {
        Error("\nUnable to convert or upload message %d of %d total [%#x].\n", static_cast<int>(index),
              static_cast<int>(count), Hex(failure));
    } else {
        Error("\nUnable to convert or upload message contents [%#x].\n\tSubject: %s\n", Hex(failure),
              values[0].ulPropTag == PR_SUBJECT_A ? values[0].Value.lpszA : "");
        if (values[1].ulPropTag == PR_MESSAGE_DELIVERY_TIME)
            Error("\tDelivered: %s\n", DeliveredText(values[1].Value.ft).c_str());
    }
    if (failure == MAPI_E_NETWORK_ERROR || failure == MAPI_E_EXTENDED_ERROR)
        Error("\n\tError: %s. [%#x]\n", context_.client->LastErrorText().c_str(), Hex(failure));
    if (failure == MAPI_E_CORRUPT_DATA)
        return S_OK;
    SaveProblemMessage(message);
    return context_.ignoreErrors ? S_OK : failure;
}

void LevelWalk::SaveProblemMessage(IMessage* message)
{
    std::string path;
    HRESULT status = S_OK;
    const int descriptor = context_.problems->CreateNext(path, status);
    if (descriptor < 0) {
        Error("Message could not be saved [%#x].\n", Hex(status));
        return;
    }
    Error("\nSaving problematic message as %s ...\n", path.c_str());
    status = ProblemMessages::Write(message, descriptor, path);
    if (SUCCEEDED(status))
        Error("Message saved. You may need to contact Technical Support for assistance.\n");
    else
        Error("Message could not be saved [%#x].\n", Hex(status));
}

} // namespace

HRESULT ConnectIfClosed(imap::CImapXP& client, IPropData* settings)
{
    if (client.IsConnected())
        return S_OK;
    Out("Connecting to Quillon.\n");
    const HRESULT status = client.Connect(settings, 0);
    if (FAILED(status))
        Error("Can not connect: %s. [%#x]\n", client.LastErrorText().c_str(), Hex(status));
    return status;
}

HRESULT WalkFolder(const WalkContext& context, IMAPIFolder* folder, const std::string& imapPath,
                   TransferOptions options)
{
    try {
        return LevelWalk(context, folder, imapPath).Run(options);
    } catch (const std::bad_alloc&) {
        Error("Not enough resources [%#x].\n", Hex(E_OUTOFMEMORY));
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::transfer
