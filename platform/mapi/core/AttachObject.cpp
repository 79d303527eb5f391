// IAttach over an attachment's state: its data as a stream, its embedded message as an IMessage,
// SaveChanges into the message it belongs to.
#include "platform/mapi/core/MessageObject.h"

#include <mapitags.h>

#include "platform/mapi/core/Guard.h"

namespace mapi {

AttachObject::AttachObject(std::shared_ptr<NamedPropertyMap> names, AttachmentState state, bool writable,
                           MapiPtr<MessageObject> parent)
    : PropObject(std::move(names), writable), state_(std::move(state)), parent_(std::move(parent))
{
}

HRESULT AttachObject::QueryInterface(REFIID riid, LPVOID* ppvObj)
{
    return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IAttachment});
}

void AttachObject::Compute(ComputedValues& computed)
{
    ComputeAttachment(state_, computed);
    computed.Long(PR_ACCESS_LEVEL, writable_ ? 1 : 0, Computed::ReadOnly);
}

HRESULT AttachObject::SaveChanges(ULONG)
{
    if (!writable_)
        return MAPI_E_NO_ACCESS;
    return Guard([&]() -> HRESULT {
        std::shared_ptr<const AttachmentState> saved;
        {
            std::lock_guard lock(mutex_);
            saved = std::make_shared<const AttachmentState>(state_);
        }
        return parent_->PutAttachment(std::move(saved));
    });
}

HRESULT AttachObject::OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG, ULONG ulFlags, LPUNKNOWN* lppUnk)
{
    if (lppUnk == nullptr || lpiid == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    return Guard([&]() -> HRESULT {
        if (PROP_ID(ulPropTag) == PROP_ID(PR_ATTACH_DATA_OBJ) && *lpiid == IID_IMessage)
            return OpenEmbedded(ulFlags, lppUnk);
        if (*lpiid == IID_IStream)
            return OpenStream(ulPropTag, ulFlags, lppUnk);
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    });
}

// The embedded message, or with MAPI_CREATE a new empty one in its place. Its SaveChanges puts it
// into this attachment, whose own SaveChanges then puts both into the message.
HRESULT AttachObject::OpenEmbedded(ULONG ulFlags, LPUNKNOWN* lppUnk)
{
    bool create = (ulFlags & MAPI_CREATE) != 0;
    bool write = create || (ulFlags & MAPI_MODIFY) != 0;
    if (write && !writable_)
        return MAPI_E_NO_ACCESS;
    std::shared_ptr<const MessageState> embedded;
    {
        std::lock_guard lock(mutex_);
        if (state_.otherObject && !create)
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        embedded = create ? std::make_shared<const MessageState>() : state_.embedded;
    }
    if (embedded == nullptr)
        return MAPI_E_NOT_FOUND;
    AddRef();
    std::shared_ptr<AttachObject> owner(this, [](AttachObject* attachment) { attachment->Release(); });
    MessageObject::Commit commit = [owner](std::shared_ptr<const MessageState> saved) -> HRESULT {
        std::unique_lock lock = owner->LockForChange();
        owner->state_.embedded = std::move(saved);
        owner->state_.otherObject = false;
        return S_OK;
    };
    *lppUnk = static_cast<IMessage*>(new MessageObject(names_, *embedded, write, std::move(commit)));
    return S_OK;
}

} // namespace mapi
