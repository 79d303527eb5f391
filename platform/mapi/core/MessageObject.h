// IMessage and IAttach over the runtime's message state. Everything changes in memory only: a
// message's SaveChanges writes nothing anywhere, an embedded message's SaveChanges puts it into
// its attachment, and an attachment's SaveChanges puts it into its message.
#pragma once

#include <functional>

#include <MapiPtr.h>

#include "platform/mapi/core/MessageState.h"
#include "platform/mapi/core/PropObject.h"

namespace mapi {

class MessageObject final : public PropObject<IMessage> {
public:
    // Where SaveChanges hands the message: the attachment that holds it; empty for a message of its own.
    using Commit = std::function<HRESULT(std::shared_ptr<const MessageState>)>;

    MessageObject(std::shared_ptr<NamedPropertyMap> names, MessageState state, bool writable, Commit commit);

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    HRESULT SaveChanges(ULONG ulFlags) override;
    HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                         LPUNKNOWN* lppUnk) override;
    HRESULT CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps, ULONG_PTR ulUIParam,
                   LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj, ULONG ulFlags,
                   LPSPropProblemArray* lppProblems) override;

    HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    HRESULT OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags, LPATTACH* lppAttach) override;
    HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulAttachmentNum, LPATTACH* lppAttach) override;
    HRESULT DeleteAttach(ULONG ulAttachmentNum, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                         ULONG ulFlags) override;
    HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    HRESULT ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) override;
    HRESULT SubmitMessage(ULONG ulFlags) override;
    HRESULT SetReadFlag(ULONG ulFlags) override;

    // An attachment's SaveChanges: it replaces the attachment of its number, or is added.
    HRESULT PutAttachment(std::shared_ptr<const AttachmentState> attachment);

private:
    PropertyBag& Bag() override { return state_.properties; }
    void Compute(ComputedValues& computed) override;

    MessageState state_;
    Commit commit_;
};

class AttachObject final : public PropObject<IAttach> {
public:
    AttachObject(std::shared_ptr<NamedPropertyMap> names, AttachmentState state, bool writable,
                 MapiPtr<MessageObject> parent);

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    HRESULT SaveChanges(ULONG ulFlags) override;
    HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                         LPUNKNOWN* lppUnk) override;

private:
    PropertyBag& Bag() override { return state_.properties; }
    void Compute(ComputedValues& computed) override;
    HRESULT OpenEmbedded(ULONG ulFlags, LPUNKNOWN* lppUnk);

    AttachmentState state_;
    MapiPtr<MessageObject> parent_;
};

// The values an attachment works out (number, size, rendering position, its object), shared by
// the attachment itself and the rows of its message's attachment table. `attachment` must outlive
// `computed`, which works its size out from it when that is shown.
void ComputeAttachment(const AttachmentState& attachment, ComputedValues& computed);

// A rough size of a message in bytes (its values, recipients and attachments), as PR_MESSAGE_SIZE.
ULONG EstimatedSize(const MessageState& message);

} // namespace mapi
