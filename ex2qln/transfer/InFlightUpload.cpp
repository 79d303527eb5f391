// SELECT for the next UID, FETCH of UIDs and sizes for the uncertain upload.
#include "ex2qln/transfer/InFlightUpload.h"

#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/transfer/MessageUpload.h"

#include <mapicode.h>

#include <string>

namespace ex2qln::transfer {
namespace {

std::optional<std::uint32_t> NumberOf(const imap::ImapRecord& record, ULONG tag)
{
    const SPropValue* value = imap::FindProperty(record, tag);
    if (value == nullptr)
        return std::nullopt;
    return static_cast<std::uint32_t>(value->Value.ul);
}

// SELECT with its untagged data kept: the message count and the next UID.
HRESULT Select(imap::CImapXP& client, std::string_view folder, std::uint32_t& messages, std::uint32_t& uidNext)
{
    HRESULT status = client.SendCommand("SELECT \"%s\"", QuotedImapText(folder).c_str());
    imap::ImapRecords records;
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, imap::KeepBit(imap::kKindOk) | imap::KeepBit(imap::kKindExists), &records);
    if (FAILED(status))
        return status;
    std::optional<std::uint32_t> next;
    std::optional<std::uint32_t> count;
    for (const imap::ImapRecord& record : records) {
        if (const std::optional<std::uint32_t> value = NumberOf(record, imap::kPropUidNext))
            next = value;
        if ((record.kind & ~imap::kKindWatchFlag) == imap::kKindExists)
            count = NumberOf(record, imap::kPropContentCount);
    }
    // Without both the folder's state is unknown, and guessing could upload a message twice.
    if (!next || *next == 0 || !count)
        return MAPI_E_NO_SUPPORT;
    messages = *count;
    uidNext = *next;
    return S_OK;
}

} // namespace

HRESULT HighestUid(imap::CImapXP& client, std::string_view folder, std::uint32_t& uid)
{
    std::uint32_t messages = 0;
    std::uint32_t uidNext = 0;
    const HRESULT status = Select(client, folder, messages, uidNext);
    if (SUCCEEDED(status))
        uid = uidNext - 1;
    return status;
}

HRESULT FindPendingUpload(imap::CImapXP& client, std::string_view folder, const journal::PendingUpload& pending,
                          const journal::JournalState& state, std::optional<std::uint32_t>& uid)
{
    uid.reset();
    std::uint32_t messages = 0;
    std::uint32_t uidNext = 0;
    HRESULT status = Select(client, folder, messages, uidNext);
    if (FAILED(status) || messages == 0 || uidNext <= pending.afterUid + 1)
        return status;
    status = client.SendCommand("FETCH 1:* (UID RFC822.SIZE)");
    imap::ImapRecords records;
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, imap::KeepBit(imap::kKindFetch), &records);
    if (FAILED(status))
        return status;
    for (const imap::ImapRecord& record : records) {
        const std::optional<std::uint32_t> found = NumberOf(record, imap::kPropUid);
        if (found && *found > pending.afterUid && !state.UidRecorded(folder, *found) && NumberOf(record, imap::kPropMessageSize) == pending.size) {
            uid = found;
            return S_OK;
        }
    }
    return S_OK;
}

} // namespace ex2qln::transfer
