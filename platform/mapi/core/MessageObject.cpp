// IMessage over the runtime's message state: computed properties, recipient and attachment
// tables, attachments, recipients and the read flag, all changed in memory only.
#include "platform/mapi/core/MessageObject.h"

#include <mapitags.h>
#include <mapiutil.h>

#include <algorithm>
#include <cstring>

#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/MessageCopy.h"
#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/SnapshotTable.h"

namespace mapi {
namespace {

std::vector<BYTE> InstanceKey(ULONG number)
{
    return {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
            static_cast<BYTE>(number >> 24)};
}

ULONG BagSize(const PropertyBag& bag)
{
    ULONG size = 0;
    for (const ValuePointer& stored : bag.Stored()) {
        size += sizeof(SPropValue) + ExtraBytes(stored->value());
        if (stored->streamed() != nullptr)
            size += static_cast<ULONG>(stored->streamed()->Size());
    }
    return size;
}

std::u16string TextOf(const PropertyBag& bag, ULONG tag)
{
    const SPropValue* value = bag.Find(tag);
    if (value == nullptr)
        return {};
    if (PROP_TYPE(value->ulPropTag) == PT_UNICODE && value->Value.lpszW != nullptr)
        return value->Value.lpszW;
    if (PROP_TYPE(value->ulPropTag) == PT_STRING8 && value->Value.lpszA != nullptr)
        return std::u16string(value->Value.lpszA, value->Value.lpszA + std::strlen(value->Value.lpszA));
    return {};
}

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b)
{
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
               return fold(x) == fold(y);
           });
}

// The "; "-joined display names of the recipients of one type (PR_DISPLAY_TO, _CC, _BCC).
std::u16string DisplayList(const MessageState& message, ULONG type)
{
    std::u16string list;
    for (const RecipientState& recipient : message.recipients) {
        const SPropValue* recipientType = recipient.properties.Find(PR_RECIPIENT_TYPE);
        if (recipientType == nullptr || PROP_TYPE(recipientType->ulPropTag) != PT_LONG ||
            (static_cast<ULONG>(recipientType->Value.l) & ~MAPI_SUBMITTED) != type)
            continue;
        if (!list.empty())
            list += u"; ";
        list += TextOf(recipient.properties, PR_DISPLAY_NAME_W);
    }
    return list;
}

void ComputeRecipient(const RecipientState& recipient, ComputedValues& computed)
{
    computed.Long(PR_ROWID, static_cast<LONG>(recipient.rowId), Computed::ReadOnly);
    computed.Binary(PR_INSTANCE_KEY, InstanceKey(recipient.rowId), Computed::ReadOnly);
    // An Internet recipient's SMTP address is its e-mail address.
    if (EqualsAsciiNoCase(TextOf(recipient.properties, PR_ADDRTYPE_W), u"SMTP")) {
        std::u16string address = TextOf(recipient.properties, PR_EMAIL_ADDRESS_W);
        if (!address.empty())
            computed.Unicode(PR_SMTP_ADDRESS_W, std::move(address), Computed::Fallback);
    }
}

// The default columns: the leading ones given, then every other column some row has, strings in
// the form the flags ask for.
std::vector<ULONG> DefaultColumns(std::initializer_list<ULONG> leading, const std::vector<std::vector<SPropValue>>& rows,
                                  ULONG flags)
{
    std::vector<ULONG> columns;
    auto add = [&](ULONG tag) {
        bool known = std::any_of(columns.begin(), columns.end(), [tag](ULONG column) { return PROP_ID(column) == PROP_ID(tag); });
        if (!known)
            columns.push_back(CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(tag), flags)));
    };
    for (ULONG tag : leading)
        add(tag);
    for (const std::vector<SPropValue>& row : rows) {
        for (const SPropValue& value : row)
            add(value.ulPropTag);
    }
    return columns;
}

// The rows of a recipient or attachment table: one per child, built by `row` with the values it
// computes for the child, which must live as long as the rows.
template <typename Child, typename Row>
std::vector<std::vector<SPropValue>> ChildRows(const std::vector<Child>& children,
                                               std::vector<ComputedValues>& computed, Row row)
{
    std::vector<std::vector<SPropValue>> rows;
    computed.resize(children.size());
    for (std::size_t i = 0; i < children.size(); ++i)
        rows.push_back(row(children[i], computed[i]));
    return rows;
}

bool IsRecipientValue(const SPropValue& value)
{
    ULONG type = PROP_TYPE(value.ulPropTag);
    ULONG id = PROP_ID(value.ulPropTag);
    if (id == PROP_ID_NULL || id == PROP_ID_INVALID || id == PROP_ID(PR_ROWID) || id == PROP_ID(PR_INSTANCE_KEY))
        return false;
    return type != PT_ERROR && type != PT_NULL && type != PT_OBJECT && type != PT_UNSPECIFIED && IsCopyableType(type);
}

const SPropValue* RowIdOf(const ADRENTRY& entry)
{
    if (entry.rgPropVals == nullptr)
        return nullptr;
    const SPropValue* found = FindById(std::span<const SPropValue>(entry.rgPropVals, entry.cValues), PR_ROWID);
    return found != nullptr && PROP_TYPE(found->ulPropTag) == PT_LONG ? found : nullptr;
}

} // namespace

MessageObject::MessageObject(std::shared_ptr<NamedPropertyMap> names, MessageState state, bool writable, Commit commit)
    : PropObject(std::move(names), writable), state_(std::move(state)), commit_(std::move(commit))
{
}

HRESULT MessageObject::QueryInterface(REFIID riid, LPVOID* ppvObj)
{
    return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMessage});
}

void MessageObject::Compute(ComputedValues& computed)
{
    bool hasAttachments = !state_.attachments.empty();
    computed.Boolean(PR_HASATTACH, hasAttachments, Computed::ReadOnly);
    const SPropValue* flags = state_.properties.Find(PR_MESSAGE_FLAGS);
    ULONG messageFlags = flags != nullptr && PROP_TYPE(flags->ulPropTag) == PT_LONG ? flags->Value.ul : 0;
    messageFlags = hasAttachments ? messageFlags | MSGFLAG_HASATTACH : messageFlags & ~MSGFLAG_HASATTACH;
    computed.Long(PR_MESSAGE_FLAGS, static_cast<LONG>(messageFlags), Computed::Overlay);
    computed.Long(PR_ACCESS, static_cast<LONG>(writable_ ? MAPI_ACCESS_READ | MAPI_ACCESS_MODIFY | MAPI_ACCESS_DELETE
                                                         : MAPI_ACCESS_READ),
                  Computed::ReadOnly);
    computed.Long(PR_ACCESS_LEVEL, writable_ ? 1 : 0, Computed::ReadOnly);
    computed.Long(PR_OBJECT_TYPE, MAPI_MESSAGE, Computed::ReadOnly);
    computed.Long(PR_MESSAGE_SIZE, [this] { return static_cast<LONG>(EstimatedSize(state_)); }, Computed::Fallback);
    computed.Unicode(PR_DISPLAY_TO_W, [this] { return DisplayList(state_, MAPI_TO); }, Computed::Fallback);
    computed.Unicode(PR_DISPLAY_CC_W, [this] { return DisplayList(state_, MAPI_CC); }, Computed::Fallback);
    computed.Unicode(PR_DISPLAY_BCC_W, [this] { return DisplayList(state_, MAPI_BCC); }, Computed::Fallback);
    computed.Object(PR_MESSAGE_RECIPIENTS);
    computed.Object(PR_MESSAGE_ATTACHMENTS);
}

HRESULT MessageObject::SaveChanges(ULONG)
{
    return Guard([&]() -> HRESULT {
        if (!writable_)
            return MAPI_E_NO_ACCESS;
        if (!commit_)
            return S_OK;  // a message of its own: its changes stay in this object
        std::shared_ptr<const MessageState> saved;
        {
            std::lock_guard lock(mutex_);
            saved = std::make_shared<const MessageState>(state_);
        }
        return commit_(std::move(saved));
    });
}

HRESULT MessageObject::OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG, ULONG ulFlags, LPUNKNOWN* lppUnk)
{
    if (lppUnk == nullptr || lpiid == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    return Guard([&]() -> HRESULT {
        bool table = *lpiid == IID_IMAPITable;
        if (table && PROP_ID(ulPropTag) == PROP_ID(PR_MESSAGE_RECIPIENTS))
            return GetRecipientTable(ulFlags & MAPI_UNICODE, reinterpret_cast<LPMAPITABLE*>(lppUnk));
        if (table && PROP_ID(ulPropTag) == PROP_ID(PR_MESSAGE_ATTACHMENTS))
            return GetAttachmentTable(ulFlags & MAPI_UNICODE, reinterpret_cast<LPMAPITABLE*>(lppUnk));
        if (*lpiid == IID_IStream)
            return OpenStream(ulPropTag, ulFlags, lppUnk);
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    });
}

HRESULT MessageObject::CopyTo(ULONG, LPCIID, LPSPropTagArray lpExcludeProps, ULONG_PTR, LPMAPIPROGRESS,
                              LPCIID lpInterface, LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems)
{
    if (lppProblems != nullptr)
        *lppProblems = nullptr;
    if (lpDestObj == nullptr || lpDestObj == static_cast<IMessage*>(this))
        return MAPI_E_INVALID_PARAMETER;
    if (lpInterface != nullptr && *lpInterface != IID_IMessage)
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if ((ulFlags & MAPI_MOVE) != 0)
        return MAPI_E_NO_SUPPORT;  // the source is never changed
    return Guard([&]() -> HRESULT {
        std::vector<ULONG> excluded;
        if (lpExcludeProps != nullptr)
            excluded.assign(lpExcludeProps->aulPropTag, lpExcludeProps->aulPropTag + lpExcludeProps->cValues);
        MessageState snapshot;
        {
            std::lock_guard lock(mutex_);
            snapshot = state_;
        }
        return CopyMessage(snapshot, *names_, excluded, static_cast<IMessage*>(lpDestObj), lppProblems);
    });
}

HRESULT MessageObject::GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable)
{
    if (lppTable == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    return Guard([&]() -> HRESULT {
        std::vector<ComputedValues> computed;
        std::lock_guard lock(mutex_);
        std::vector<std::vector<SPropValue>> rows =
            ChildRows(state_.recipients, computed, [](const RecipientState& recipient, ComputedValues& values) {
                ComputeRecipient(recipient, values);
                return values.Merge(recipient.properties);
            });
        std::vector<ULONG> columns = DefaultColumns({PR_ROWID, PR_INSTANCE_KEY, PR_RECIPIENT_TYPE, PR_DISPLAY_NAME_W,
                                                     PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_ENTRYID},
                                                    rows, ulFlags);
        return MakeTable(PR_ROWID, columns, rows, lppTable);
    });
}

HRESULT MessageObject::GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable)
{
    if (lppTable == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    return Guard([&]() -> HRESULT {
        std::vector<ComputedValues> computed;
        std::lock_guard lock(mutex_);
        auto attachmentRow = [](const std::shared_ptr<const AttachmentState>& attachment, ComputedValues& values) {
            ComputeAttachment(*attachment, values);
            std::vector<SPropValue> row = values.Merge(attachment->properties);
            // The content is opened, not listed.
            std::erase_if(row, [](const SPropValue& value) { return PROP_ID(value.ulPropTag) == PROP_ID(PR_ATTACH_DATA_BIN); });
            return row;
        };
        std::vector<std::vector<SPropValue>> rows = ChildRows(state_.attachments, computed, attachmentRow);
        std::vector<ULONG> columns =
            DefaultColumns({PR_ATTACH_NUM, PR_INSTANCE_KEY, PR_RENDERING_POSITION, PR_ATTACH_METHOD, PR_ATTACH_FILENAME_W,
                            PR_ATTACH_LONG_FILENAME_W, PR_DISPLAY_NAME_W, PR_ATTACH_SIZE},
                           rows, ulFlags);
        return MakeTable(PR_ATTACH_NUM, columns, rows, lppTable);
    });
}

HRESULT MessageObject::OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags, LPATTACH* lppAttach)
{
    if (lppAttach == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppAttach = nullptr;
    if (lpInterface != nullptr && *lpInterface != IID_IAttachment && *lpInterface != IID_IMAPIProp &&
        *lpInterface != IID_IUnknown)
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if ((ulFlags & MAPI_MODIFY) != 0 && !writable_)
        return MAPI_E_NO_ACCESS;
    return Guard([&]() -> HRESULT {
        bool write = (ulFlags & MAPI_MODIFY) != 0 || ((ulFlags & MAPI_BEST_ACCESS) != 0 && writable_);
        std::shared_ptr<const AttachmentState> attachment;
        {
            std::lock_guard lock(mutex_);
            for (const auto& candidate : state_.attachments) {
                if (candidate->number == ulAttachmentNum)
                    attachment = candidate;
            }
        }
        if (attachment == nullptr)
            return MAPI_E_NOT_FOUND;
        AddRef();
        MapiPtr<MessageObject> self(this);
        *lppAttach = new AttachObject(names_, *attachment, write, std::move(self));
        return S_OK;
    });
}

HRESULT MessageObject::CreateAttach(LPCIID lpInterface, ULONG, ULONG* lpulAttachmentNum, LPATTACH* lppAttach)
{
    if (lppAttach == nullptr || lpulAttachmentNum == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppAttach = nullptr;
    if (lpInterface != nullptr && *lpInterface != IID_IAttachment && *lpInterface != IID_IMAPIProp &&
        *lpInterface != IID_IUnknown)
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if (!writable_)
        return MAPI_E_NO_ACCESS;
    return Guard([&]() -> HRESULT {
        AttachmentState attachment;
        {
            std::unique_lock lock = LockForChange();
            attachment.number = state_.nextAttachNumber++;
        }
        ULONG number = attachment.number;
        AddRef();
        MapiPtr<MessageObject> self(this);
        *lppAttach = new AttachObject(names_, std::move(attachment), true, std::move(self));
        *lpulAttachmentNum = number;
        return S_OK;
    });
}

HRESULT MessageObject::DeleteAttach(ULONG ulAttachmentNum, ULONG_PTR, LPMAPIPROGRESS, ULONG)
{
    if (!writable_)
        return MAPI_E_NO_ACCESS;
    std::unique_lock lock = LockForChange();
    auto found = std::find_if(state_.attachments.begin(), state_.attachments.end(),
                              [&](const auto& attachment) { return attachment->number == ulAttachmentNum; });
    if (found == state_.attachments.end())
        return MAPI_E_NOT_FOUND;
    state_.attachments.erase(found);
    return S_OK;
}

HRESULT MessageObject::PutAttachment(std::shared_ptr<const AttachmentState> attachment)
{
    std::unique_lock lock = LockForChange();
    return Guard([&]() -> HRESULT {
        for (auto& existing : state_.attachments) {
            if (existing->number == attachment->number) {
                existing = std::move(attachment);
                return S_OK;
            }
        }
        state_.attachments.push_back(std::move(attachment));
        return S_OK;
    });
}

HRESULT MessageObject::ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods)
{
    constexpr ULONG kOperations = MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE;
    if ((ulFlags & ~kOperations) != 0)
        return MAPI_E_UNKNOWN_FLAGS;
    ULONG operation = ulFlags & kOperations;
    if (lpMods == nullptr || (operation & (operation - 1)) != 0)
        return MAPI_E_INVALID_PARAMETER;
    if (!writable_)
        return MAPI_E_NO_ACCESS;
    return Guard([&]() -> HRESULT {
        std::unique_lock lock = LockForChange();
        // Worked out on a copy, so that a failing entry changes nothing.
        std::vector<RecipientState> recipients = operation == 0 ? std::vector<RecipientState>{} : state_.recipients;
        ULONG nextRowId = state_.nextRowId;
        for (ULONG i = 0; i < lpMods->cEntries; ++i) {
            const ADRENTRY& entry = lpMods->aEntries[i];
            if (entry.cValues > 0 && entry.rgPropVals == nullptr)
                return MAPI_E_INVALID_PARAMETER;
            std::span<const SPropValue> values(entry.rgPropVals, entry.cValues);
            auto row = recipients.end();
            if (operation == MODRECIP_MODIFY || operation == MODRECIP_REMOVE) {
                const SPropValue* rowId = RowIdOf(entry);
                if (rowId == nullptr)
                    return MAPI_E_INVALID_PARAMETER;
                row = std::find_if(recipients.begin(), recipients.end(),
                                   [&](const RecipientState& recipient) { return recipient.rowId == rowId->Value.ul; });
                if (row == recipients.end())
                    return MAPI_E_NOT_FOUND;
            }
            if (operation == MODRECIP_REMOVE) {
                recipients.erase(row);
                continue;
            }
            PropertyBag properties;
            for (const SPropValue& value : values) {
                if (!IsRecipientValue(value))
                    continue;
                SCODE status = properties.Set(value);
                if (status != S_OK)
                    return status;
            }
            if (operation == MODRECIP_MODIFY)
                row->properties = std::move(properties);
            else
                recipients.push_back({nextRowId++, std::move(properties)});
        }
        state_.recipients = std::move(recipients);
        state_.nextRowId = nextRowId;
        // The recipient lists are worked out again from the new recipients.
        for (ULONG tag : {PR_DISPLAY_TO_W, PR_DISPLAY_CC_W, PR_DISPLAY_BCC_W})
            state_.properties.Erase(tag);
        return S_OK;
    });
}

HRESULT MessageObject::SubmitMessage(ULONG)
{
    return MAPI_E_NO_SUPPORT;  // the runtime reads an organisation; it sends nothing
}

HRESULT MessageObject::SetReadFlag(ULONG ulFlags)
{
    constexpr ULONG kKnown = SUPPRESS_RECEIPT | CLEAR_READ_FLAG | MAPI_DEFERRED_ERRORS | GENERATE_RECEIPT_ONLY |
                             CLEAR_RN_PENDING | CLEAR_NRN_PENDING;
    if ((ulFlags & ~kKnown) != 0)
        return MAPI_E_UNKNOWN_FLAGS;
    if ((ulFlags & CLEAR_READ_FLAG) != 0 && (ulFlags & (SUPPRESS_RECEIPT | GENERATE_RECEIPT_ONLY)) != 0)
        return MAPI_E_INVALID_PARAMETER;
    if ((ulFlags & GENERATE_RECEIPT_ONLY) != 0)
        return S_OK;  // no receipt is ever sent
    return Guard([&]() -> HRESULT {
        std::unique_lock lock = LockForChange();
        const SPropValue* stored = state_.properties.Find(PR_MESSAGE_FLAGS);
        SPropValue flags{};
        flags.ulPropTag = PR_MESSAGE_FLAGS;
        flags.Value.ul = stored != nullptr && PROP_TYPE(stored->ulPropTag) == PT_LONG ? stored->Value.ul : 0;
        flags.Value.ul = (ulFlags & CLEAR_READ_FLAG) != 0 ? flags.Value.ul & ~MSGFLAG_READ : flags.Value.ul | MSGFLAG_READ;
        if ((ulFlags & CLEAR_RN_PENDING) != 0)
            flags.Value.ul &= ~MSGFLAG_RN_PENDING;
        if ((ulFlags & CLEAR_NRN_PENDING) != 0)
            flags.Value.ul &= ~MSGFLAG_NRN_PENDING;
        return state_.properties.Set(flags);
    });
}

ULONG EstimatedSize(const MessageState& message)
{
    ULONG size = BagSize(message.properties);
    for (const RecipientState& recipient : message.recipients)
        size += BagSize(recipient.properties);
    for (const auto& attachment : message.attachments) {
        size += BagSize(attachment->properties);
        if (attachment->embedded != nullptr)
            size += EstimatedSize(*attachment->embedded);
    }
    return size;
}

void ComputeAttachment(const AttachmentState& attachment, ComputedValues& computed)
{
    computed.Long(PR_ATTACH_NUM, static_cast<LONG>(attachment.number), Computed::ReadOnly);
    computed.Binary(PR_INSTANCE_KEY, InstanceKey(attachment.number), Computed::ReadOnly);
    computed.Long(PR_OBJECT_TYPE, MAPI_ATTACH, Computed::ReadOnly);
    computed.Long(PR_ATTACH_SIZE, [&attachment] {
        ULONG size = BagSize(attachment.properties);
        if (attachment.embedded != nullptr)
            size += EstimatedSize(*attachment.embedded);
        return static_cast<LONG>(size);
    }, Computed::Fallback);
    // -1: the attachment is not rendered at a place in the body.
    computed.Long(PR_RENDERING_POSITION, -1, Computed::Fallback);
    if (attachment.embedded != nullptr || attachment.otherObject)
        computed.Object(PR_ATTACH_DATA_OBJ);
}

} // namespace mapi
