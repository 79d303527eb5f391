// CopyTo of the runtime's messages: everything goes through the target's own IMessage calls.
#include "platform/mapi/core/MessageCopy.h"

#include <mapitags.h>

#include <algorithm>
#include <map>

#include <MapiPtr.h>

#include "platform/mapi/core/StreamedValueStream.h"

namespace mapi {
namespace {

// Ids the runtime works out itself (and a .msg file may also have stored): a target works out its own.
constexpr ULONG kComputedIds[] = {PROP_ID(PR_HASATTACH), PROP_ID(PR_ACCESS),     PROP_ID(PR_ACCESS_LEVEL),
                                  PROP_ID(PR_OBJECT_TYPE), PROP_ID(PR_ATTACH_NUM), PROP_ID(PR_INSTANCE_KEY),
                                  PROP_ID(PR_ROWID)};

class Copier {
public:
    Copier(const NamedPropertyMap& names, IMessage* target) : names_(names), target_(target) {}

    // The values of a bag as the target should get them: named ids turned into the target's.
    HRESULT TargetValues(const PropertyBag& bag, std::span<const ULONG> excluded, std::vector<SPropValue>& values)
    {
        values.clear();
        for (SPropValue value : bag.Values()) {
            ULONG id = PROP_ID(value.ulPropTag);
            if (std::any_of(excluded.begin(), excluded.end(), [id](ULONG tag) { return PROP_ID(tag) == id; }) ||
                std::find(std::begin(kComputedIds), std::end(kComputedIds), id) != std::end(kComputedIds))
                continue;
            if (id >= PROP_ID_NAMED_MIN) {
                ULONG targetId = 0;
                HRESULT status = TargetId(id, targetId);
                if (FAILED(status))
                    return status;
                if (targetId == 0)
                    continue;
                value.ulPropTag = PROP_TAG(PROP_TYPE(value.ulPropTag), targetId);
            }
            values.push_back(value);
        }
        return S_OK;
    }

    HRESULT Message(const MessageState& message, std::span<const ULONG> excluded, IMessage* target,
                    LPSPropProblemArray* problems)
    {
        std::vector<SPropValue> values;
        HRESULT status = TargetValues(message.properties, excluded, values);
        if (SUCCEEDED(status))
            status = target->SetProps(static_cast<ULONG>(values.size()), values.data(), problems);
        if (FAILED(status))
            return status;
        auto excludes = [&](ULONG tag) {
            return std::any_of(excluded.begin(), excluded.end(), [tag](ULONG other) { return PROP_ID(other) == PROP_ID(tag); });
        };
        if (!excludes(PR_MESSAGE_RECIPIENTS)) {
            status = Recipients(message, target);
            if (FAILED(status))
                return status;
        }
        if (excludes(PR_MESSAGE_ATTACHMENTS))
            return S_OK;
        for (const auto& attachment : message.attachments) {
            status = Attachment(*attachment, target);
            if (FAILED(status))
                return status;
        }
        return S_OK;
    }

private:
    HRESULT TargetId(ULONG id, ULONG& targetId)
    {
        targetId = 0;
        auto known = targetIds_.find(id);
        if (known != targetIds_.end()) {
            targetId = known->second;
            return S_OK;
        }
        std::optional<PropertyName> name = names_.NameOf(id);
        if (!name)
            return S_OK;
        MAPINAMEID entry{&name->propertySet, name->isString ? MNID_STRING : MNID_ID, {}};
        if (name->isString)
            entry.Kind.lpwstrName = name->name.data();
        else
            entry.Kind.lID = name->lid;
        LPMAPINAMEID entries[] = {&entry};
        MapiBuffer<SPropTagArray> tags;
        HRESULT status = target_->GetIDsFromNames(1, entries, MAPI_CREATE, tags.put());
        if (FAILED(status))
            return status;
        if (PROP_TYPE(tags->aulPropTag[0]) != PT_ERROR)
            targetId = PROP_ID(tags->aulPropTag[0]);
        targetIds_[id] = targetId;
        return S_OK;
    }

    HRESULT Recipients(const MessageState& message, IMessage* target)
    {
        std::vector<std::vector<SPropValue>> rows(message.recipients.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            HRESULT status = TargetValues(message.recipients[i].properties, {}, rows[i]);
            if (FAILED(status))
                return status;
        }
        MapiBuffer<ADRLIST> list;
        SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(std::max<std::size_t>(rows.size(), 1))),
                                          list.put_void());
        if (status != S_OK)
            return status;
        list->cEntries = static_cast<ULONG>(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            list->aEntries[i] = {0, static_cast<ULONG>(rows[i].size()), rows[i].data()};
        return target->ModifyRecipients(0, list.get());
    }

    HRESULT Attachment(const AttachmentState& attachment, IMessage* target)
    {
        MapiPtr<IAttach> copy;
        ULONG number = 0;
        HRESULT status = target->CreateAttach(nullptr, 0, &number, copy.put());
        if (FAILED(status))
            return status;
        std::vector<SPropValue> values;
        status = TargetValues(attachment.properties, {}, values);
        if (SUCCEEDED(status))
            status = copy->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr);
        if (SUCCEEDED(status))
            status = StreamedValues(attachment.properties, copy.get());
        if (SUCCEEDED(status) && attachment.embedded != nullptr) {
            MapiPtr<IMessage> embedded;
            status = copy->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE | MAPI_MODIFY,
                                        embedded.put_unknown());
            if (SUCCEEDED(status))
                status = Message(*attachment.embedded, {}, embedded.get(), nullptr);
            if (SUCCEEDED(status))
                status = embedded->SaveChanges(0);
        }
        if (FAILED(status))
            return status;
        return copy->SaveChanges(0);
    }

    // Values kept in their file go over in pieces, through a stream of the target.
    static HRESULT StreamedValues(const PropertyBag& bag, IMAPIProp* target)
    {
        for (const ValuePointer& stored : bag.Stored()) {
            if (stored->streamed() == nullptr)
                continue;
            MapiPtr<IStream> source;
            MapiPtr<IStream> copy;
            HRESULT status = StreamedValueStream::Create(stored->streamed(), source.put());
            if (SUCCEEDED(status))
                status = target->OpenProperty(stored->tag(), &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                              copy.put_unknown());
            ULARGE_INTEGER all{};
            all.QuadPart = stored->streamed()->Size();
            if (SUCCEEDED(status))
                status = source->CopyTo(copy.get(), all, nullptr, nullptr);
            if (SUCCEEDED(status))
                status = copy->Commit(0);
            if (FAILED(status))
                return status;
        }
        return S_OK;
    }

    const NamedPropertyMap& names_;
    IMessage* target_;  // every message of a copy shares the target's named-property map
    std::map<ULONG, ULONG> targetIds_;
};

} // namespace

HRESULT CopyMessage(const MessageState& message, const NamedPropertyMap& names, std::span<const ULONG> excluded,
                    IMessage* target, LPSPropProblemArray* problems)
{
    return Copier(names, target).Message(message, excluded, target, problems);
}

} // namespace mapi
